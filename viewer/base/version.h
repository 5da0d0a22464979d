#pragma once
// The program's version, from the project's version in the build: the toolbar and the about
// box show this one text.
namespace strandel {

inline constexpr const char *kProgramVersion = STRANDEL_VERSION;

} // namespace strandel
