// Turns the suite's stored message texts into displayable ones: the "!!xx" patterns through the
// workstation's "translate.bin" table, and Latin-1 bytes and "\uXXXX" escapes into UTF-8.
#pragma once

#include <array>
#include <string>
#include <string_view>

class CTranslateChar
{
public:
    // Reads "translate.bin" from the current directory; without all 100 bytes translation is off.
    CTranslateChar();
    explicit CTranslateChar(const std::string& tablePath);

    // Replaces every pattern by its table byte; texts of 2000 bytes or more come back unchanged.
    std::string translate(std::string_view text);

    bool enabled() const { return m_enabled; }

    static constexpr const char* tableFileName = "translate.bin";

private:
    void load(const std::string& path);

    std::array<unsigned char, 100> m_table{};
    bool m_enabled = false;
    bool m_changed = false;
};

// Expands Latin-1 letters into "\u00XX" escapes, decodes the escapes and encodes the result as UTF-8.
// Code points of 2048 and above, and raw bytes of 128 and above without an escape, produce nothing.
std::string toUtf8(std::string_view text);
