// Numbers of the program's resources (res/Holvenstead.rc).
#pragma once

namespace holv {

inline constexpr int kResMenu = 109;
inline constexpr int kResAccelerators = 109;
inline constexpr int kResClassName = 109;
inline constexpr int kResAppIcon = 107;
inline constexpr int kResDialogAbout = 103;
inline constexpr int kResDialogOptions = 138;

}  // namespace holv
