// What a token holds. The numbers are those of the token file's "Type" and of the token database's
// value tables, in their order.
#pragma once

enum class TokenKind : int
{
    None = 0,
    Float = 1,
    Integer = 2,
    Text = 3,
};

// The kind a stored number stands for; None for any other number.
constexpr TokenKind tokenKindOf(int number)
{
    return number >= static_cast<int>(TokenKind::Float) && number <= static_cast<int>(TokenKind::Text)
               ? static_cast<TokenKind>(number)
               : TokenKind::None;
}
