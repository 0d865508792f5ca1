// ThlxCppRTF: C and C++: "//" and "/* */" comments, preprocessor lines (continued by a final
// backslash), strings and characters with backslash escapes, raw strings R"d(...)d" across
// lines, and the reserved words of C23 and C++23 with the usual compiler extensions.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kCppKeywords(
    {"alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
     "char", "char8_t", "char16_t", "char32_t", "class", "compl", "concept", "const", "consteval", "constexpr",
     "constinit", "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype", "default", "delete",
     "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "final", "float",
     "for", "friend", "goto", "if", "import", "inline", "int", "long", "module", "mutable", "namespace", "new",
     "noexcept", "not", "not_eq", "nullptr", "operator", "or", "or_eq", "override", "private", "protected",
     "public", "register", "reinterpret_cast", "requires", "restrict", "return", "short", "signed", "sizeof",
     "static", "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local", "throw",
     "true", "try", "typedef", "typeid", "typename", "typeof", "typeof_unqual", "union", "unsigned", "using",
     "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq", "_Alignas", "_Alignof", "_Atomic",
     "_BitInt", "_Bool", "_Complex", "_Generic", "_Imaginary", "_Noreturn", "_Pragma", "_Static_assert",
     "_Thread_local", "__asm", "__asm__", "__attribute__", "__declspec", "__inline", "__inline__", "__int8",
     "__int16", "__int32", "__int64", "__restrict", "__volatile__", "__extension__", "__cdecl", "__stdcall",
     "__fastcall", "__forceinline", "__try", "__except", "__finally", "__leave", "__typeof__", "_inline",
     // the types of the standard headers, as common as the built-in ones
     "size_t", "ssize_t", "ptrdiff_t", "off_t", "sig_atomic_t", "fpos_t", "clock_t", "time_t", "va_list",
     "jmp_buf", "FILE", "DIR", "div_t", "ldiv_t", "mbstate_t", "wint_t", "wctype_t", "wctrans_t", "int8_t",
     "int16_t", "int32_t", "int64_t", "uint8_t", "uint16_t", "uint32_t", "uint64_t", "intptr_t", "uintptr_t",
     "intmax_t", "uintmax_t", "int_least8_t", "int_least16_t", "int_least32_t", "int_least64_t",
     "uint_least8_t", "uint_least16_t", "uint_least32_t", "uint_least64_t", "int_fast8_t", "int_fast16_t",
     "int_fast32_t", "int_fast64_t", "uint_fast8_t", "uint_fast16_t", "uint_fast32_t", "uint_fast64_t",
     "pid_t", "uid_t", "gid_t", "mode_t", "dev_t", "ino_t", "key_t", "id_t", "nfds_t", "rlim_t", "sigset_t",
     "siginfo_t", "socklen_t", "timer_t", "clockid_t", "cpu_set_t", "sighandler_t"},
    TKeywordCase::kcExact);

TLanguageDef MakeCppDef() {
  TLanguageDef d = ModernSchemeDef(&kCppKeywords);
  d.LineComments = {"//"};
  d.BlockComments = {{"/*", "*/"}};
  d.Quotes = "\"'";
  d.BackslashEscape = true;
  d.NumberTakesLetters = true;
  d.HashDirective = true;
  d.Symbols = "(){}[];,.=+-*/%<>!&|^~?:#\\";
  d.TwoCharSymbols = {"==", "!=", "<=", ">=", "&&", "||", "++", "--", "->", "::", "+=", "-=", "*=", "/=", "<<", ">>"};
  return d;
}

const TLanguageDef kCppDef = MakeCppDef();

class ThlxCppRTF : public ThlxTableSyntax {
public:
  ThlxCppRTF() : ThlxTableSyntax(kCppDef) {}

protected:
  // A raw string: an encoding prefix (u8, u, U, L) or none, then R"delimiter( ... )delimiter".
  bool ScanSpecial(char c) override {
    if (c != 'R' && c != 'u' && c != 'U' && c != 'L') return false;
    size_t i = FRun;
    if (Matches(i, "u8R\"")) i += 2;
    else if (c != 'R' && At(i + 1) == 'R') ++i;
    if (At(i) != 'R' || At(i + 1) != '"') return false;
    // The delimiter: at most 16 characters, none of them blank, a parenthesis or a backslash.
    size_t open = i + 2;
    while (open < i + 2 + 17 && At(open) != '(' && !IsLineEnd(At(open)) && At(open) != ' ' && At(open) != ')' &&
           At(open) != '\\')
      ++open;
    if (At(open) != '(') return false;
    std::string close = ")";
    close.append(FText.substr(i + 2, open - i - 2));
    close.push_back('"');
    FRun = open + 1;
    OpenPending(TPendingMode::pmClose, close, tkString);
    return true;
  }
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateCppRTF() { return std::make_unique<ThlxCppRTF>(); }

}  // namespace bq
