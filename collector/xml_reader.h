#pragma once
// The collector's own reader of the array's XML: a small recursive-descent
// reader of elements and text, for the event stream and for the array's
// event definition files. It is not a general XML parser: no attributes
// (they become part of the element name), comments, CDATA or character
// references. Every read is bounded by the length of the text given; a NUL
// byte is an ordinary byte here (the callers refuse documents holding one).
#include <cstddef>
#include <string>
#include <string_view>

// Depth of nested elements the reader accepts (the event reader's tag stack
// holds as many). A deeper element ends the document with error 6.
constexpr int kXmlMaxDepth = 100;

// Error texts of the reader, each ending in a line feed.
extern const char* const kXmlErrNoStart;      // 1: no "<" (or "</") where an element must start
extern const char* const kXmlErrNoStartEnd;   // 2: start tag without ">"
extern const char* const kXmlErrNoEndEnd;     // 3: end tag without ">"
extern const char* const kXmlErrMismatch;     // 4: end tag not of the open element
extern const char* const kXmlErrNoNextTag;    // 5: text with no element after it
extern const char* const kXmlErrTooDeep;      // 6: elements nested deeper than kXmlMaxDepth

// What the reader calls. `pos` is the offset in the document of the
// element's "<" (Start, and End of an empty element), of its "</" (End), or
// of the text (Chars). `text` has its leading white space removed; text of
// white space alone is never passed. A non-null result is an error text that
// ends the document.
class XmlElementHandler {
 public:
  virtual ~XmlElementHandler() = default;
  virtual const char* Start(std::string_view name, size_t pos) = 0;
  virtual const char* End(std::string_view name, size_t pos) = 0;
  virtual const char* Chars(std::string_view text, size_t pos) = 0;
};

// Reads one element (with its descendants) starting at doc[*pos], `depth`
// being the number of elements already open around it. Returns 0 with *pos
// behind the element, or 1 with the error text in `err` (the rest is not
// read; callbacks made before the error stand).
[[nodiscard]] int XmlProcessTag(std::string_view doc, size_t* pos, XmlElementHandler& h,
                                int depth, std::string& err);

// Skips leading white space, ignores trailing white space, and reads exactly
// one element. 0 or 1 as XmlProcessTag.
[[nodiscard]] int XmlProcessString(std::string_view doc, XmlElementHandler& h, std::string& err);

// Decodes, left to right and once, &lt; &gt; &amp; &quot; &apos; in the
// NUL-terminated text `s`, in place; any other '&' stays as it is.
void str_normalize(char* s);

// `text` without white space (isspace) at either end.
std::string_view StripSpaces(std::string_view text);
