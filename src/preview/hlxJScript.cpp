// ThlxJScriptRTF: JavaScript: "//" and "/* */" comments, strings in either quote with
// backslash escapes, the Visual Basic colours.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kJScriptKeywords(
    {"abs", "acos", "action", "alert", "alinkColor", "Anchor", "anchor", "anchors", "appCodeName", "Applet",
     "applets", "appName", "appVersion", "Area", "arguments", "Array", "array", "asin", "atan", "atan2", "back",
     "bgColor", "big", "blink", "blur", "bold", "Boolean", "border", "break", "Button", "caller", "ceil",
     "charAt", "Checkbox", "checked", "clearTimeout", "click", "close", "closed", "comment", "complete",
     "confirm", "constructor", "continue", "cookie", "cos", "current", "Date", "defaultChecked",
     "defaultSelected", "defaultStatus", "defaultValue", "description", "document", "domain", "E", "elements",
     "else", "embeds", "enabledPlugin", "encoding", "escape", "eval", "exp", "fgColor", "filename",
     "FileUpload", "fixed", "floor", "focus", "fontcolor", "fontsize", "for", "Form", "form", "forms", "forward",
     "Frame", "frames", "Function", "function", "getDate", "getDay", "getHours", "getMinutes", "getMonth",
     "getSeconds", "getTime", "getTimezoneOffset", "getYear", "go", "hash", "height", "Hidden", "history",
     "host", "hostname", "href", "hspace", "if", "Image", "images", "in", "index", "indexOf", "isNaN", "italics",
     "javaEnabled", "join", "lastIndexOf", "lastModified", "length", "Link", "link", "linkColor", "links",
     "LN10", "LN2", "location", "log", "LOG10E", "LOG2E", "loop", "lowsrc", "Math", "max", "MAX_VALUE",
     "method", "MimeType", "mimeTypes", "min", "MIN_VALUE", "name", "NaN", "navigator", "NEGATIVE_INFINITY",
     "new", "next", "Number", "object", "onAbort", "onBlur", "onChange", "onClick", "onError", "onFocus",
     "onLoad", "onMouseOut", "onMouseOver", "onReset", "onSelect", "onSubmit", "onUnload", "open", "opener",
     "Option", "options", "parent", "parse", "parseFloat", "parseInt", "Password", "pathname", "PI", "Plugin",
     "plugins", "port", "POSITIVE_INFINITY", "pow", "previous", "prompt", "property", "protocol", "prototype",
     "Radio", "random", "referrer", "refresh", "reload", "replace", "Reset", "reset", "return", "reverse",
     "round", "scroll", "search", "Select", "select", "selected", "selectedIndex", "self", "setDate",
     "setHours", "setMinutes", "setMonth", "setSeconds", "setTime", "setTimeout", "setYear", "sin", "small",
     "sort", "split", "sqrt", "SQRT1_2", "SQRT2", "src", "status", "strike", "String", "sub", "submit",
     "substring", "suffixes", "sup", "taint", "taintEnabled", "tan", "target", "Text", "text", "Textarea",
     "this", "title", "toGMTString", "toLocaleString", "toLowerCase", "top", "toString", "toUpperCase", "type",
     "unescape", "untaint", "URL", "userAgent", "UTC", "value", "valueOf", "var", "vlinkColor", "vspace",
     "while", "width", "window", "with", "write", "writeln",
     // ES2015 and later
     "let", "const", "class", "import", "export", "async", "await", "yield", "of", "static", "super", "extends",
     "true", "false", "null", "undefined", "typeof", "instanceof", "switch", "case", "default", "try", "catch",
     "finally", "throw", "delete", "void"});

TLanguageDef MakeJScriptDef() {
  TLanguageDef d = VBSchemeDef(&kJScriptKeywords);
  d.LineComments = {"//"};
  d.BlockComments = {{"/*", "*/"}};
  d.Quotes = "\"'";
  d.VBQuote = false;
  d.HashDate = false;
  d.BackslashEscape = true;
  d.NumberTakesLetters = true;
  d.Symbols = "(){}[];,.=+-*/%<>!&|^~?:";
  d.TwoCharSymbols = {"==", "!=", "<=", ">=", "&&", "||", "++", "--", "+=", "-=", "*=", "/="};
  return d;
}

const TLanguageDef kJScriptDef = MakeJScriptDef();

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateJScriptRTF() { return std::make_unique<ThlxTableSyntax>(kJScriptDef); }

}  // namespace bq
