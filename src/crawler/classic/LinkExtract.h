#pragma once
// Pulls links out of single lines of page text. Pages are not parsed as HTML:
// each extractor finds at most one link in a line by plain substring search
// on a lower-cased copy, so every link it gives is in lower case and still
// relative as written on the page. The work is linear in the line length.
//
// Each returns true and sets link when it finds one (the link may be empty);
// on false, link is left as it was.
#include <string>
#include <string_view>

namespace tvx {

// The first href of the line, quoted with '"' or '\'' or unquoted. A line
// mentioning "mailto" anywhere gives nothing.
bool ExtractHref(std::string_view line, std::string& link);

// A '"'-quoted src on a line mentioning "frame" (frame, iframe, frameset),
// taken only when its closing quote is followed by a space.
bool ExtractFrameSrc(std::string_view line, std::string& link);

// The source of an img tag, which may stand on a later line than the tag.
// imgTagPending belongs to the caller (one per page reader): it is set by a
// line mentioning "img" and cleared once a source has been taken, so a tag
// left open carries over to the caller's next lines only.
bool ExtractImgSrc(std::string_view line, bool& imgTagPending, std::string& link);

}  // namespace tvx
