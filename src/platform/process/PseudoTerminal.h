#pragma once

#include <optional>
#include <string>

namespace meterwright {

// A pseudo-terminal pair: the master side stays here, the slave side becomes a child's terminal.
// Both descriptors are close-on-exec so no other child inherits them; closing is idempotent.
class PseudoTerminal {
 public:
  // Nothing when no terminal can be had. The window size is what `claude` lays itself out to.
  static std::optional<PseudoTerminal> open(unsigned short columns = 100, unsigned short rows = 40);

  PseudoTerminal(PseudoTerminal&& other) noexcept;
  PseudoTerminal& operator=(PseudoTerminal&& other) noexcept;
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal();

  int master() const { return master_; }
  int slave() const { return slave_; }
  void closeMaster();
  void closeSlave();

  // Waits up to `seconds` for the master side to have bytes (or a hang-up) to read.
  bool waitReadable(double seconds) const;
  // Up to `limit` bytes from the master side; empty when nothing came (EIO once the child's side
  // is gone, or a timeout).
  std::string read(std::size_t limit);
  // Writes all of `bytes`; false when the terminal refuses them.
  bool write(std::string_view bytes);

 private:
  PseudoTerminal(int master, int slave) : master_(master), slave_(slave) {}
  int master_ = -1;
  int slave_ = -1;
};

}  // namespace meterwright
