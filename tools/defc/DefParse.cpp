#include "DefParse.h"

#include "store/uStreams.h"
#include "store/uText.h"
#include "toolkit/uControls.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::string TrimAscii(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool IsIdent(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') return false;
    return !std::isdigit(static_cast<unsigned char>(s[0]));
}

class TParser {
public:
    TParser(const std::string& text, const TDefOptions& options) : FOptions(options) {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            FLines.push_back(line);
        }
    }

    std::size_t Line() const { return FPos; }

    std::unique_ptr<TComponent> Run() {
        std::string line = Next();
        if (!Header(line)) Fail("expected 'object Name: Class'");
        auto root = std::unique_ptr<TComponent>(CreateComponentByClassName(FClass, nullptr));
        root->SetDesigning(true);
        root->SetName(FName);
        Body(*root, *root);
        while (FPos < FLines.size()) {
            std::string rest = Clean(FLines[FPos++]);
            if (!rest.empty()) Fail("text after the root object's end");
        }
        return root;
    }

private:
    [[noreturn]] void Fail(const std::string& why) const {
        throw EDefSyntax("line " + std::to_string(FPos) + ": " + why);
    }

    static std::string Clean(const std::string& line) {
        std::string t = TrimAscii(line);
        if (t.rfind('#', 0) == 0 || t.rfind("//", 0) == 0) return {};
        return t;
    }

    // The next non-empty line; "" at the end.
    std::string Next() {
        while (FPos < FLines.size()) {
            std::string t = Clean(FLines[FPos++]);
            if (!t.empty()) return t;
        }
        return {};
    }

    bool Header(const std::string& line) {
        if (line.rfind("object ", 0) != 0) return false;
        std::string rest = TrimAscii(line.substr(7));
        auto colon = rest.find(':');
        if (colon == std::string::npos) {
            FName.clear();
            FClass = rest;
        } else {
            FName = TrimAscii(rest.substr(0, colon));
            FClass = TrimAscii(rest.substr(colon + 1));
        }
        if (!IsIdent(FClass) || (!FName.empty() && !IsIdent(FName))) Fail("bad object header");
        return true;
    }

    void Body(TComponent& c, TComponent& root) {
        for (;;) {
            std::string line = Next();
            if (line.empty()) Fail("missing 'end'");
            if (line == "end") return;
            if (Header(line)) {
                TComponent* child = CreateComponentByClassName(FClass, &root);
                child->SetDesigning(true);
                child->SetName(FName);
                c.ReadChild(child);
                Body(*child, root);
                continue;
            }
            auto eq = line.find('=');
            if (eq == std::string::npos) Fail("expected 'Property = value'");
            std::string name = TrimAscii(line.substr(0, eq));
            std::string value = TrimAscii(line.substr(eq + 1));
            Assign(c, name, value);
        }
    }

    std::string Substitute(const std::string& s) {
        std::string out;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '$' && i + 1 < s.size() && s[i + 1] == '{') {
                auto close = s.find('}', i);
                if (close == std::string::npos) Fail("unterminated ${");
                std::string var = s.substr(i + 2, close - i - 2);
                auto it = FOptions.Vars.find(var);
                if (it == FOptions.Vars.end()) Fail("undefined variable " + var);
                out += it->second;
                i = close;
            } else {
                out += s[i];
            }
        }
        return out;
    }

    // 'text' pieces joined with +, converted to code page 932.
    std::string Quoted(const std::string& v) {
        std::string utf8;
        std::size_t i = 0;
        for (;;) {
            while (i < v.size() && v[i] == ' ') ++i;
            if (i >= v.size() || v[i] != '\'') Fail("expected a quoted string");
            ++i;
            for (;;) {
                if (i >= v.size()) Fail("unterminated string");
                if (v[i] == '\'') {
                    if (i + 1 < v.size() && v[i + 1] == '\'') {
                        utf8 += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                utf8 += v[i++];
            }
            while (i < v.size() && v[i] == ' ') ++i;
            if (i >= v.size()) break;
            if (v[i] != '+') Fail("unexpected text after a string");
            ++i;
        }
        std::string cp932, bad;
        if (!Utf8ToCp932(Substitute(utf8), cp932, &bad)) Fail("character not in code page 932: " + bad);
        return cp932;
    }

    std::int32_t Number(const std::string& v) {
        try {
            std::size_t used = 0;
            long long n;
            if (!v.empty() && v[0] == '$')
                n = std::stoll(v.substr(1), &used, 16), ++used;
            else if (v.rfind("0x", 0) == 0)
                n = std::stoll(v.substr(2), &used, 16), used += 2;
            else
                n = std::stoll(v, &used, 10);
            if (used != v.size() || n < INT32_MIN || n > 0xFFFFFFFFLL) Fail("bad number " + v);
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
        } catch (const std::logic_error&) {
            Fail("bad number " + v);
        }
    }

    std::vector<std::uint8_t> FileBytes(const std::string& source) {
        std::filesystem::path p = PathFromCp932(Quoteless(Substitute(source)));
        if (p.is_relative()) p = FOptions.BaseDir / p;
        if (!std::filesystem::exists(p)) Fail("file not found: " + p.string());
        return ReadWholeFile(p);
    }

    static std::string Quoteless(const std::string& s) {
        if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'') return s.substr(1, s.size() - 2);
        return s;
    }

    std::vector<std::uint8_t> Hex(const std::string& v) {
        if (v.size() < 2 || v.front() != '{' || v.back() != '}') Fail("expected {hex} or @file");
        std::string h;
        for (char ch : v.substr(1, v.size() - 2))
            if (!std::isspace(static_cast<unsigned char>(ch))) h += ch;
        if (h.size() % 2) Fail("odd number of hex digits");
        std::vector<std::uint8_t> out;
        for (std::size_t i = 0; i < h.size(); i += 2) {
            if (!std::isxdigit(static_cast<unsigned char>(h[i])) ||
                !std::isxdigit(static_cast<unsigned char>(h[i + 1])))
                Fail("bad hex digit");
            out.push_back(static_cast<std::uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
        }
        return out;
    }

    std::vector<std::string> StringList(const std::string& first) {
        if (first.empty() || first[0] != '(') Fail("expected ( for a list of strings");
        std::vector<std::string> items;
        std::string rest = TrimAscii(first.substr(1));
        for (;;) {
            if (rest == ")") return items;
            if (!rest.empty()) {
                bool closes = rest.back() == ')' && rest.size() > 1 && rest[rest.size() - 2] == '\'';
                if (closes) rest = TrimAscii(rest.substr(0, rest.size() - 1));
                items.push_back(Quoted(rest));
                if (closes) return items;
            }
            if (FPos >= FLines.size()) Fail("unterminated list");
            rest = TrimAscii(FLines[FPos++]);
        }
    }

    void Assign(TComponent& c, const std::string& name, const std::string& value) {
        TFiler filer;
        c.DefineProperties(filer);
        if (const auto* bin = filer.Find(name)) {
            if (value.empty() || value[0] != '@') Fail("binary property " + name + " takes @file");
            TMemoryStream s(FileBytes(value.substr(1)));
            bin->Reader(s);
            return;
        }
        TPropList props;
        c.GetProperties(props);
        const TPropInfo* p = props.Find(name);
        if (!p) Fail("property " + name + " does not exist in " + c.ClassName());
        TPropValue v;
        v.Type = p->Type;
        switch (p->Type) {
        case TValueType::Int:
            v.Int = Number(value);
            break;
        case TValueType::Bool:
            if (value == "True" || value == "true")
                v.Int = 1;
            else if (value == "False" || value == "false")
                v.Int = 0;
            else
                Fail("expected True or False");
            break;
        case TValueType::Color:
            if (!ColorFromName(value, v.Int)) v.Int = Number(value);
            break;
        case TValueType::String:
            v.Str = Quoted(value);
            break;
        case TValueType::Ident:
            if (!IsIdent(value)) Fail("expected an identifier");
            v.Str = value;
            break;
        case TValueType::Set: {
            if (value.size() < 2 || value.front() != '[' || value.back() != ']') Fail("expected [a, b]");
            std::stringstream in(value.substr(1, value.size() - 2));
            std::string m;
            while (std::getline(in, m, ','))
                if (!TrimAscii(m).empty()) v.List.push_back(TrimAscii(m));
            break;
        }
        case TValueType::List:
            v.List = StringList(value);
            break;
        case TValueType::Binary:
            v.Bytes = !value.empty() && value[0] == '@' ? FileBytes(value.substr(1)) : Hex(value);
            break;
        }
        try {
            p->Set(v);
        } catch (const Exception& e) {
            Fail(e.what());
        }
    }

    const TDefOptions& FOptions;
    std::vector<std::string> FLines;
    std::size_t FPos = 0;
    std::string FName, FClass;
};

} // namespace

std::unique_ptr<TComponent> ParseDefinition(const std::string& text, const TDefOptions& options) {
    TParser parser(text, options);
    try {
        return parser.Run();
    } catch (const EDefSyntax&) {
        throw;
    } catch (const Exception& e) {
        throw EDefSyntax("line " + std::to_string(parser.Line()) + ": " + e.what());
    }
}
