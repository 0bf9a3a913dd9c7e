#include "effect_lexer.h"

#include "source_error.h"

#include <cctype>

const Token& EffectLexer::peek()
{
    if (!peeked_) {
        peekToken_ = scan();
        peeked_ = true;
    }
    return peekToken_;
}

Token EffectLexer::next()
{
    if (peeked_) {
        peeked_ = false;
        return peekToken_;
    }
    return scan();
}

void EffectLexer::skipSpaceAndComments()
{
    while (pos_ < text_.size()) {
        const char c = text_[pos_];
        if (c == '\n') {
            ++line_;
            ++pos_;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++pos_;
        } else if (text_.compare(pos_, 2, "//") == 0) {
            while (pos_ < text_.size() && text_[pos_] != '\n')
                ++pos_;
        } else if (text_.compare(pos_, 2, "/*") == 0) {
            const int startLine = line_;
            pos_ += 2;
            while (pos_ < text_.size() && text_.compare(pos_, 2, "*/") != 0) {
                if (text_[pos_] == '\n')
                    ++line_;
                ++pos_;
            }
            if (pos_ >= text_.size())
                throw SourceError(startLine, "comment is not closed");
            pos_ += 2;
        } else {
            return;
        }
    }
}

Token EffectLexer::scan()
{
    skipSpaceAndComments();
    Token t;
    t.line = line_;
    if (pos_ >= text_.size())
        return t;
    const size_t start = pos_;
    const char c = text_[pos_];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
            ++pos_;
        t.kind = TokenKind::Identifier;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && pos_ + 1 < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
        while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.'))
            ++pos_;
        t.kind = TokenKind::Number;
    } else if (std::string("{}[]()<>=;:,-").find(c) != std::string::npos) {
        ++pos_;
        t.kind = TokenKind::Punct;
    } else {
        throw SourceError(line_, std::string("unexpected character '") + c + "'");
    }
    t.text = text_.substr(start, pos_ - start);
    return t;
}

ShaderText EffectLexer::rawBlock()
{
    if (peeked_)
        throw SourceError(peekToken_.line, "internal: raw block after a peeked token");
    ShaderText block;
    block.firstLine = line_;
    const int startLine = line_;
    while (pos_ < text_.size()) {
        const char c = text_[pos_];
        if (c == '}') {
            ++pos_;
            return block;
        }
        if (text_.compare(pos_, 2, "//") == 0 || c == ';') {
            while (pos_ < text_.size() && text_[pos_] != '\n')
                block.text += text_[pos_++];
            continue;
        }
        if (text_.compare(pos_, 2, "/*") == 0) {
            const int commentLine = line_;
            pos_ += 2;
            block.text += "  ";
            while (pos_ < text_.size() && text_.compare(pos_, 2, "*/") != 0) {
                if (text_[pos_] == '\n')
                    ++line_;
                block.text += text_[pos_] == '\n' ? '\n' : ' ';
                ++pos_;
            }
            if (pos_ >= text_.size())
                throw SourceError(commentLine, "comment is not closed");
            pos_ += 2;
            block.text += "  ";
            continue;
        }
        if (c == '\n')
            ++line_;
        block.text += c;
        ++pos_;
    }
    throw SourceError(startLine, "asm block is not closed with '}'");
}
