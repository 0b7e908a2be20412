#pragma once

#include "engine/fenc/lexer.hpp"
#include "engine/fenc/vocabulary.hpp"

// The words of the texts that the operators write, token by token as they
// write them, spelled as the vocabulary spells them: for the readers that
// take those texts without compiling them.
namespace corvane::fenc {

// bx.<callee>(, such as bx.or_s(
inline bool take_bx_call(WrittenTokens& tokens, Name callee) {
    return tokens.take_name(word_of(Name::BxModule).spelling) && tokens.take(TokenKind::Dot) &&
           tokens.take_name(word_of(callee).spelling) && tokens.take(TokenKind::LParen);
}

// bx.<callee>([, a list combinator's opening, such as bx.or_s([
inline bool take_bx_list_call(WrittenTokens& tokens, Name callee) {
    return take_bx_call(tokens, callee) && tokens.take(TokenKind::LBracket);
}

// ]), a list combinator's end
inline bool take_list_call_end(WrittenTokens& tokens) {
    return tokens.take(TokenKind::RBracket) && tokens.take(TokenKind::RParen);
}

// ~(, a negation's opening
inline bool take_negation(WrittenTokens& tokens) {
    return tokens.take(TokenKind::Tilde) && tokens.take(TokenKind::LParen);
}

// ", ", the operators' separator of arguments and items
inline bool take_separator(WrittenTokens& tokens) { return tokens.take(TokenKind::Comma) && tokens.take_space(); }

// .<method>(), such as .to_bx()
inline bool take_method_call(WrittenTokens& tokens, Name method) {
    return tokens.take(TokenKind::Dot) && tokens.take_name(word_of(method).spelling) &&
           tokens.take(TokenKind::LParen) && tokens.take(TokenKind::RParen);
}

}  // namespace corvane::fenc
