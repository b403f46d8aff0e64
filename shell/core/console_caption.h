// The caption of the console's windows and message boxes. Start-up gives it to the host
// (ui::Host::SetCaption); the property sheet takes it as its title.
#pragma once

namespace shell {

inline constexpr const char* kConsoleCaption = "Quv SMS/MMS Gateway v2022.10.03";

}  // namespace shell
