// Tokens of an effect source: identifiers, numbers and punctuation, with
// line numbers; // and /* */ comments are skipped. The body of an asm block
// is taken as raw text.
#pragma once

#include "effect_source.h"

#include <string>

enum class TokenKind { Identifier, Number, Punct, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    int line = 0;
};

class EffectLexer {
public:
    explicit EffectLexer(const std::string& text) : text_(text) {}

    const Token& peek();
    Token next();
    // The text after an opening brace that has just been consumed, up to the
    // matching closing brace, which is consumed too. Comments inside are kept
    // as they are, except /* */ comments, which become blanks (line breaks stay).
    ShaderText rawBlock();

private:
    Token scan();
    void skipSpaceAndComments();

    const std::string& text_;
    size_t pos_ = 0;
    int line_ = 1;
    bool peeked_ = false;
    Token peekToken_;
};
