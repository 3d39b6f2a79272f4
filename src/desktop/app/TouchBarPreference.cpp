#include "desktop/app/TouchBarPreference.h"

#include "core/files/AtomicFile.h"
#include "core/json/JsonText.h"

namespace meterwright::TouchBarPreference {

bool persist(const std::filesystem::path& configFile, bool enabled) {
  auto file = FileReading::read(configFile);
  if (file.outcome != FileReading::Outcome::read) return false;
  auto json = JsonText::parse(file.bytes);
  if (!json || !json->is_object()) return false;
  (*json)["touchBar"] = enabled;
  auto text = JsonText::prettySorted(*json);
  return text && AtomicFile::write(configFile, *text);
}

}  // namespace meterwright::TouchBarPreference
