// ThlxXMLRTF: a markup scanner for XML. Token kinds are the colour numbers themselves.
//
// How it reads: outside tags, text runs up to "<", "&" or the line end; "&" starts an entity
// reference that ends after ";" or before the first blank, "<", "&", quote or line end. "<!--",
// "<![CDATA[", "<?" and "<!" (a document type, whose "[...]" internal subset may hold ">")
// open sections that run, line by line, to "-->", "]]>", "?>" and ">". "<" or "</" opens a tag:
// the element name ends at a blank, ">", "/", "=", a quote, "<" or the line end. Inside the
// tag, attribute names end the same way; an attribute whose name contains "xmlns" is a
// namespace attribute, and its "=" and value take the namespace kinds. A value opened by a
// quote runs to the same quote, across lines. A tag stays open, across lines, until ">"; any
// other character inside it is a symbol. At the end of the text every open construct ends.
#include <algorithm>

#include "preview/hlxTableSyntax.h"

namespace bq {

std::vector<TRtfColor> ThlxMarkupSyntax::MarkupColors() {
  return {{0, 128, 0}, {128, 0, 0}, {0, 0, 0}, {0, 0, 255}, {0, 0, 0}, {0, 128, 0}, {0, 0, 255},
          {0, 0, 0},   {255, 0, 0}, {0, 0, 0}, {0, 0, 0}};
}

void ThlxMarkupSyntax::SetDefaultColors() { SetColors(MarkupColors()); }

void ThlxMarkupSyntax::FormatToken(int kind, std::string_view text, std::string& out) const {
  // The rules hold for the markup's own colours; an embedded language's (beyond them) stay.
  if (kind <= MarkupColorCount && text.size() >= 2 && text[0] == '/' && text[1] == '/') kind = 2;
  if (kind == 10 && !text.empty() && text[0] == '"') kind = 6;
  AppendColorWord(kind, out);
  out += text;
}

namespace {

enum : uint8_t {
  xkElement = 1, xkEntityText = 1, xkAttribute = 2, xkNsAttribute = 3, xkEqual = 4, xkNsEqual = 5,
  xkValueDQ = 6, xkProcessing = 6, xkValueSQ = 7, xkComment = 7, xkNsValueDQ = 8, xkDocType = 8,
  xkSymbol = 9, xkNsValueSQ = 9, xkText = 10, xkSpace = 10, xkCData = 11, xkNull = 1,
};

// A character that ends a name inside a tag.
bool EndsName(char c) {
  return static_cast<unsigned char>(c) <= 32 || c == '>' || c == '/' || c == '=' || c == '"' || c == '\'' ||
         c == '<';
}

class ThlxXMLRTF : public ThlxMarkupSyntax {
public:
  void Next() override {
    FTokenPos = FRun;
    const char c = At(FRun);
    if (c == '\r' || c == '\n' || c == '\0') {
      ScanSpaceOrEnd(xkSpace, xkNull);
      return;
    }
    FEnd = false;
    switch (FRange) {
      case rComment: Section("-->", xkComment); return;
      case rCData: Section("]]>", xkCData); return;
      case rProcessing: Section("?>", xkProcessing); return;
      case rDocType: DocType(); return;
      case rValue: Value(); return;
      case rTag: Tag(); return;
      default: Text(); return;
    }
  }

private:
  enum { rText, rTag, rValue, rComment, rCData, rProcessing, rDocType };  // rText is the base's 0

  void DocType() {
    for (;;) {
      const char c = At(FRun);
      if (IsLineEnd(c)) break;
      ++FRun;
      if (c == '[') ++FDepth;
      else if (c == ']' && FDepth > 0) --FDepth;
      else if (c == '>' && FDepth == 0) {
        FRange = rText;
        break;
      }
    }
    FTokenKind = xkDocType;
  }

  void Entity(uint8_t kind) {
    ++FRun;
    for (;;) {
      const char c = At(FRun);
      if (c == ';') {
        ++FRun;
        break;
      }
      if (IsLineEnd(c) || static_cast<unsigned char>(c) <= 32 || c == '<' || c == '&' || c == '"' || c == '\'') break;
      SkipChar();
    }
    FTokenKind = kind;
  }

  void Text() {
    const char c = At(FRun);
    if (c == '<') {
      if (Matches(FRun, "<!--")) {
        FRun += 4;
        FRange = rComment;
        Section("-->", xkComment);
      } else if (Matches(FRun, "<![CDATA[")) {
        FRun += 9;
        FRange = rCData;
        Section("]]>", xkCData);
      } else if (Matches(FRun, "<?")) {
        FRun += 2;
        FRange = rProcessing;
        Section("?>", xkProcessing);
      } else if (Matches(FRun, "<!")) {
        FRun += 2;
        FRange = rDocType;
        FDepth = 0;
        DocType();
      } else {
        FRun += At(FRun + 1) == '/' ? 2 : 1;
        FRange = rTag;
        FExpectName = true;
        FTokenKind = xkSymbol;
      }
      return;
    }
    if (c == '&') {
      Entity(xkEntityText);
      return;
    }
    while (!IsLineEnd(At(FRun)) && At(FRun) != '<' && At(FRun) != '&') SkipChar();
    FTokenKind = xkText;
  }

  void Tag() {
    const char c = At(FRun);
    if (static_cast<unsigned char>(c) <= 32) {
      ScanSpaceOrEnd(xkSpace, xkNull);
      return;
    }
    if (c == '>' || (c == '/' && At(FRun + 1) == '>')) {
      FRun += c == '>' ? 1 : 2;
      FRange = rText;
      FTokenKind = xkSymbol;
      return;
    }
    if (c == '=') {
      ++FRun;
      FTokenKind = FNamespace ? xkNsEqual : xkEqual;
      return;
    }
    if (c == '"' || c == '\'') {
      ++FRun;
      FQuote = c;
      FRange = rValue;
      ValueRun();
      return;
    }
    if (!EndsName(c)) {
      while (!EndsName(At(FRun))) SkipChar();
      if (FExpectName) {
        FExpectName = false;
        FTokenKind = xkElement;
      } else {
        const std::string_view name = FText.substr(FTokenPos, FRun - FTokenPos);
        FNamespace = name.find("xmlns") != std::string_view::npos;
        FTokenKind = FNamespace ? xkNsAttribute : xkAttribute;
      }
      return;
    }
    ++FRun;
    FTokenKind = xkSymbol;
  }

  void Value() {
    if (At(FRun) == '&') {
      Entity(FNamespace ? (FQuote == '"' ? 4 : 5) : (FQuote == '"' ? 2 : 3));
      return;
    }
    ValueRun();
  }

  // The value's characters up to and including its closing quote, or up to "&" or the line end.
  void ValueRun() {
    for (;;) {
      const char c = At(FRun);
      if (IsLineEnd(c) || c == '&') break;
      if (c == FQuote) {
        ++FRun;
        FRange = rTag;
        break;
      }
      SkipChar();
    }
    FTokenKind = FNamespace ? (FQuote == '"' ? xkNsValueDQ : xkNsValueSQ) : (FQuote == '"' ? xkValueDQ : xkValueSQ);
  }

  int FDepth = 0;
  char FQuote = '"';
  bool FNamespace = false, FExpectName = false;
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateXMLRTF() { return std::make_unique<ThlxXMLRTF>(); }

}  // namespace bq
