// Names and addresses the program shows.
#pragma once

namespace fernweave {

inline constexpr const char* ProgramCaption = "Fernweave 2.0";
inline constexpr const char* WebPageAddress = "https://www.lumenfold.com/fernweave/";

}  // namespace fernweave
