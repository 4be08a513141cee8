// Writes an event to the Application event log under the program's own
// source ("Holvenstead", registered by the installer with the program as its
// message file). A failure to write is not reported: the log is the last
// place to tell anything.
#pragma once
#include <string_view>

#include "base/EventText.h"

namespace holv {

void ReportHolvEvent(HolvEvent event, std::string_view detail = {});

}  // namespace holv
