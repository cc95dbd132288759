// The program's name and version as the windows and message boxes show
// them. The version is the build's own (CMake's project version, handed in
// as QUILLET_VERSION): it is written nowhere else.
#pragma once

#ifndef QUILLET_VERSION
#error "QUILLET_VERSION is defined by the build"
#endif

namespace quillet {

// The main window's and the About dialog's caption.
inline constexpr char kProgramCaption[] = "Quillet " QUILLET_VERSION;
// The application title: message boxes and the task bar entry.
inline constexpr char kApplicationTitleText[] = "Quillet " QUILLET_VERSION "b";

}  // namespace quillet
