#include "desktop/touchbar/TouchBarPrivate.h"

namespace meterwright::TouchBarPrivate {

bool available() {
  return false;
}

std::vector<std::pair<std::string, bool>> diagnostics() {
  return {
      {"DFRFoundation loaded", false},
      {"DFRElementSetControlStripPresenceForIdentifier", false},
      {"DFRSystemModalShowsCloseBoxWhenFrontMost", false},
      {"+[NSTouchBarItem addSystemTrayItem:]", false},
      {"+[NSTouchBarItem removeSystemTrayItem:]", false},
      {"+[NSTouchBar presentSystemModalTouchBar:...]", false},
      {"+[NSTouchBar dismissSystemModalTouchBar:]", false},
      {"+[NSTouchBar minimizeSystemModalTouchBar:]", false},
  };
}

}  // namespace meterwright::TouchBarPrivate
