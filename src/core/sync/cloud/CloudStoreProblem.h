#pragma once

#include <string>

namespace meterwright {

// Why the cloud folder store could not do what it was asked. The kind decides what the transport
// does; the text is for people (diagnostics, the unavailable reason) and names the file and the
// system's error.
struct CloudStoreProblem {
  enum class Kind {
    // No file of that name (or no container folder at all).
    missing,
    // What is there is not a record: it is passed over, and never replaced or removed unless
    // it is a regular file.
    symbolicLink,
    notRegularFile,
    tooLarge,
    notARecord,
    // The folder could not be opened, listed, written or read.
    failed
  };

  Kind kind = Kind::failed;
  std::string text;

  // A problem of the file's contents or kind, which anyone who can write into the synced folder
  // can cause: the route stays up and the file is ignored.
  bool isBadFile() const { return kind != Kind::missing && kind != Kind::failed; }

  bool operator==(const CloudStoreProblem&) const = default;
};

}  // namespace meterwright
