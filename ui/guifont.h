#pragma once
// The font the coloured labels paint in: the default GUI font of a Japanese desktop, at which every
// status and firmware text fits its label whole. A desktop whose own default GUI font is not a
// Japanese one (another language's Windows, Linux) gets this face, or a stand-in for it.

namespace guifont {

inline constexpr const char* kJapaneseFace = "MS UI Gothic";
inline constexpr int kPointSize = 9;

}  // namespace guifont
