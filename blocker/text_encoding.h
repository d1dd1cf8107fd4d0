// The encodings a list file may come in, and the conversions between them and the UTF-8
// that the program holds its texts in.
//
// A file is read as what it says it is (a byte-order mark for UTF-8 or UTF-16), else as
// UTF-8 when it is valid UTF-8 with at least one byte above 127 (as Notepad saves it
// without a mark), else as 8-bit text in the system's code page. It is written back in the
// encoding it was read in, unless that would not read back the same, in which case it
// becomes UTF-8 with a mark, which holds anything.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quellix {

// Conversion between UTF-8 and the system's 8-bit code page.
class CodePage {
public:
    // Nothing when some character has no exact 8-bit form.
    virtual std::optional<std::string> FromUtf8(std::string_view utf8) = 0;
    virtual std::string ToUtf8(std::string_view bytes) = 0;

protected:
    ~CodePage() = default;
};

enum class TextEncoding { kCodePage, kUtf8, kUtf8Mark, kUtf16Le, kUtf16Be };

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

struct DecodedText {
    std::string utf8;
    TextEncoding encoding;
};

DecodedText DecodeText(std::string_view bytes, CodePage& codePage);

// The bytes of `utf8` in `encoding`, or nothing when the encoding cannot hold the text.
std::optional<std::string> EncodeText(std::string_view utf8, TextEncoding encoding, CodePage& codePage);

// In `preferred` if that reads back as the same text, else as UTF-8 with a mark.
std::string EncodeLosslessly(std::string_view utf8, TextEncoding preferred, CodePage& codePage);

// The code points of a UTF-8 text; nothing if it is not UTF-8.
std::optional<std::u32string> Utf8CodePoints(std::string_view utf8);

}  // namespace quellix
