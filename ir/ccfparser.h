#pragma once

#include <QString>
#include <QtGlobal>

// Checks Pronto CCF text as "Send IR" takes it and converts it to words.
namespace Ccf {
constexpr int MaxWords = 300;

// NoOutput is never returned by parse: it names the warning for a send
// with no IR port ticked, checked by the caller after a successful parse.
enum class Result { Ok, TooMany, TooFew, InvalidValue, InvalidString, NoOutput };

// Splits text at every single blank (empty tokens kept) and checks, in
// this order: at most 300 tokens, at least 4, each token hexadecimal, and
// the count equal to 4 + 2 x (word 2 + word 3). On Ok, words[0..count)
// hold the low 16 bits of each token and count the number of tokens.
Result parse(const QString &text, quint16 (&words)[MaxWords], int &count);

// Everything "Send IR" checks before it sends, in its order: the text as
// parse() checks it, then that at least one IR port is chosen (outputs is
// the port mask, bit 0 = port 1). Ok means words[0..count) may be sent.
Result check(const QString &text, int outputs, quint16 (&words)[MaxWords], int &count);

// The warning box's title and text for a failed result (empty for Ok).
QString warningTitle(Result result);
QString warningText(Result result);
}
