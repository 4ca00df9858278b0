#pragma once
// Pictures/CREDITS.txt: one line for every picture saved with a known credit
// (who made it, under which licence), so that the pictures can be used as
// their licences ask.
#include <string_view>

#include "store/PictureCredits.h"

namespace tvx {

inline constexpr const char* kCreditsFileName = "CREDITS.txt";
// What a download shows when the line cannot be written.
inline constexpr const char* kCreditsFileError = "Error creating Pictures\\CREDITS.txt";

// Appends line and a line end to Pictures/CREDITS.txt (made when missing) in
// one write, so that lines of pictures saved at the same moment never mix.
// A link, a folder or anything but a plain file in its place is refused.
// False, with errno set, when the line could not be written whole.
bool AppendCreditLine(std::string_view line);

// The picture from url has been saved as a single file: when credits know
// it, its line goes to Pictures/CREDITS.txt. False when that failed.
bool WriteCreditOfSaved(const PictureCredits& credits, std::string_view url);

}  // namespace tvx
