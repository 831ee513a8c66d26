#pragma once
// Small text services of the platform: trimming, splitting in place,
// preparing text for XML documents, case folding.

#include <cstddef>
#include <string>

// --- trimming ----------------------------------------------------------
//
// Trim removes the given characters at both ends of a text, TrimLeft at
// its start only, TrimRight at its end only. The result always goes to
// `out`, which holds `outlength` bytes and is always NUL-terminated within
// them (when `outlength` is at least 1); `out` may be `in` itself or
// overlap it. `characters` is the set of characters to remove; null means
// blanks, tabs, carriage returns and newlines.
//
// The first form reads exactly `inlength` bytes of `in` (a negative
// `inlength` reads up to its NUL), so it also serves texts that are not
// NUL-terminated. Its `mode` says what happens when the trimmed text does
// not fit into `outlength` - 1 bytes:
enum TrimMode {
  kTrimCut = 0,     // keep as much as fits; the call succeeds
  kTrimRefuse = 1,  // `out` becomes "" and the call fails
};
// Both forms return the length of the text now in `out`, or -1 when
// `out` or `in` is null, `outlength` is 0, or the text was refused.
int Trim(int mode, char* out, size_t outlength, const char* in, long inlength,
         const char* characters);
int TrimLeft(int mode, char* out, size_t outlength, const char* in, long inlength,
             const char* characters);
int TrimRight(int mode, char* out, size_t outlength, const char* in, long inlength,
              const char* characters);
// The second form reads the NUL-terminated `in` and cuts what does not fit.
int Trim(char* out, size_t outlength, const char* in, const char* characters);
int TrimLeft(char* out, size_t outlength, const char* in, const char* characters);
int TrimRight(char* out, size_t outlength, const char* in, const char* characters);

// --- splitting ---------------------------------------------------------

// Splits the NUL-terminated `text` in place at any of the characters of
// `delimiters`: the delimiter that ends each token is overwritten with a
// NUL and `tokens[i]` points at token i inside `text`. At most `max`
// entries of `tokens` are written; entries past the count are untouched.
//
// `skipEmpty` true: runs of delimiters separate like one, and delimiters at
// the start or end make no token ("  a \t b " on " \t" gives "a", "b") -
// the choice for texts split on blanks and tabs. false: every delimiter
// ends a token, so empty tokens keep their places ("a,,b" gives "a", "",
// "b"; "a," gives "a", "") - the choice for positional fields.
//
// When the text holds more than `max` tokens: with `restInLast` true the
// last token is the whole rest of the text, delimiters included, unsplit;
// with false the last token ends at its delimiter and the rest is ignored.
// Either way the count is `max`, so a caller that must tell "exactly n"
// from "more than n" asks for n + 1.
//
// Returns the number of tokens; 0 for an empty text (or, with `skipEmpty`,
// one holding only delimiters) or `max` 0; -1 when `text` or `tokens` is
// null or `max` is negative, nothing then changed. Null or empty
// `delimiters` make the whole text one token.
int GetTokens(char* text, const char* delimiters, char** tokens, int max, bool skipEmpty,
              bool restInLast);

// --- XML -----------------------------------------------------------------
//
// The length (1 to 4) of the well-formed UTF-8 sequence at `p` (p < end),
// or 0 when the bytes there are not one: overlong forms, surrogates, code
// points above U+10FFFF and sequences cut short by `end` all count as
// malformed. Then `bad`, when given, receives the length of the malformed
// prefix (at least 1), which a repair replaces as one unit.
size_t QdUtf8Length(const unsigned char* p, const unsigned char* end, size_t* bad = nullptr);

// Modes of PrepTextForXML:
//  "scrub" makes arbitrary bytes acceptable as the content of an XML 1.0
//          document in UTF-8: characters XML 1.0 forbids (the control
//          characters other than tab, line feed and carriage return, NUL,
//          U+FFFE and U+FFFF) are dropped, and each malformed UTF-8
//          sequence (stray continuation bytes, truncated or overlong
//          sequences, encoded surrogates, values above U+10FFFF, bytes
//          C0, C1, F5..FF) is replaced by one '?'. The text never grows,
//          so a prepared text can be copied back over the original.
//  "meta"  escapes the markup characters: & < > " ' become &amp; &lt;
//          &gt; &quot; &apos;. Nothing else changes; the text grows.
//
// Returns the number of characters dropped, replaced or escaped (0: the
// text was already fine); -1 for a null text or a mode that is neither,
// the text then unchanged.
int PrepTextForXML(std::string& text, const char* mode);
// The same in place for a NUL-terminated text. Only "scrub" is possible
// here (it never grows the text); "meta" returns -1 and changes nothing.
int PrepTextForXML(char* text, const char* mode);

// --- case ----------------------------------------------------------------

// Turns the ASCII letters of the NUL-terminated `text` to upper (strupr) or
// lower (strlwr) case in place, leaving every other byte (UTF-8 included)
// as it is, and returns `text`. A null `text` is returned as null.
char* strupr(char* text);
char* strlwr(char* text);
