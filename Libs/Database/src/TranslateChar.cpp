// Turns the suite's stored message texts into displayable ones.
#include "Database/TranslateChar.h"

#include "Platform/UniqueFile.h"

#include <array>
#include <cstdio>
#include <memory>

namespace
{

constexpr std::size_t maxTranslatedLength = 2000;

constexpr std::array<std::string_view, 14> patterns = {"!!AE", "!!ae", "!!OE", "!!oe", "!!AA",
                                                       "!!aa", "!!o-", "!!u-", "!!n-", "!!e-",
                                                       "!!i-", "!!a-", "!!u_", "!!o_"};

// Latin-1 letters the suite stores as raw bytes, and the escapes they stand for.
const std::array<std::string, 256>& latin1Escapes()
{
    static const std::array<std::string, 256> table = []
    {
        std::array<std::string, 256> escapes;
        static constexpr unsigned char codes[] = {198, 216, 197, 230, 248, 229, 193, 225, 201,
                                                  233, 205, 237, 209, 241, 211, 243, 218, 250,
                                                  220, 252, 191, 161, 223, 228, 196, 246, 214};
        static constexpr char hex[] = "0123456789ABCDEF";
        for (unsigned char code : codes)
            escapes[code] = std::string("\\u00") + hex[code >> 4] + hex[code & 0xF];
        escapes[186] = std::string(1, static_cast<char>(186));
        return escapes;
    }();
    return table;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, int codePoint)
{
    if (codePoint < 0)
        return;
    if (codePoint < 128)
        out += static_cast<char>(codePoint);
    else if (codePoint < 2048)
    {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

} // namespace

CTranslateChar::CTranslateChar()
{
    load(tableFileName);
}

CTranslateChar::CTranslateChar(const std::string& tablePath)
{
    load(tablePath);
}

void CTranslateChar::load(const std::string& path)
{
    Platform::UniqueFile file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return;
    m_enabled = std::fread(m_table.data(), 1, m_table.size(), file.get()) == m_table.size();
}

std::string CTranslateChar::translate(std::string_view text)
{
    if (!m_enabled || text.size() >= maxTranslatedLength)
        return std::string(text);
    std::string work(text);
    do
    {
        m_changed = false;
        for (std::size_t i = 0; i < patterns.size(); ++i)
        {
            const std::size_t at = work.find(patterns[i]);
            if (at == std::string::npos)
                continue;
            work.replace(at, patterns[i].size(), 1, static_cast<char>(m_table[i]));
            m_changed = true;
        }
    } while (m_changed);
    return work;
}

std::string toUtf8(std::string_view text)
{
    const auto& escapes = latin1Escapes();
    std::string expanded;
    expanded.reserve(text.size());
    for (char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 128 && !escapes[byte].empty())
            expanded += escapes[byte];
        else
            expanded += c;
    }

    std::string out;
    out.reserve(expanded.size());
    for (std::size_t i = 0; i < expanded.size(); ++i)
    {
        if (expanded[i] != '\\')
        {
            appendUtf8(out, static_cast<signed char>(expanded[i]));
            continue;
        }
        if (i + 1 == expanded.size())
        {
            out += '\\';
            break;
        }
        const char next = expanded[++i];
        if (next != 'u')
        {
            appendUtf8(out, static_cast<signed char>(next));
            continue;
        }
        int codePoint = 0;
        int digits = 0;
        while (digits < 4 && i + 1 < expanded.size() && hexValue(expanded[i + 1]) >= 0)
        {
            codePoint = codePoint * 16 + hexValue(expanded[++i]);
            ++digits;
        }
        appendUtf8(out, digits == 0 ? 'u' : codePoint);
    }
    return out;
}
