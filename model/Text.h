// The device and the files hold 8-bit Windows-1250 text; everything the user sees or types
// is UTF-8. This is the one place where the two meet.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvelo {

// Every byte has a character, so this never fails. Bytes the code page leaves undefined
// become the C1 control with the same number, as the platform that wrote them does.
std::string Cp1250ToUtf8(std::string_view bytes);

// Returns nothing when the text holds a character the code page lacks or is not valid UTF-8;
// `bad` then receives that character (or the offending bytes) for the message.
std::optional<std::string> Utf8ToCp1250(std::string_view utf8, std::string* bad = nullptr);

// The lower-case letter of a Windows-1250 byte, the byte itself for anything else: how
// names typed in either case are found again.
char Cp1250Lower(char byte);

// A stored text made safe to show: control bytes (C0, DEL and the five bytes the code page
// leaves undefined, which read as C1 controls) become \xHH of the byte, and a backslash \\,
// so that no escape is ambiguous. What a terminal or a printed page gets from a database.
std::string EscapeControlBytes(std::string_view cp1250);

// A number zero-padded to `digits` ("03", "0012"), as list entries are numbered.
std::string Numbered(long n, int digits);

// Without the blanks a fixed-width field pads a text with.
std::string RightTrimmed(std::string text);

// The message shown when a typed text cannot be stored, naming the character.
std::string UnencodableMessage(const std::string& bad);

}  // namespace tarvelo
