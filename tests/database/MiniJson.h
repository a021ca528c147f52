#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Just enough JSON to read the TDS test server's journal lines and state file.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& key) const {
        static const Json kNull;
        const auto it = fields.find(key);
        return it == fields.end() ? kNull : it->second;
    }
    bool Has(const std::string& key) const { return fields.count(key) != 0; }
    std::string Str() const { return text; }

    static Json Parse(const std::string& s) {
        std::size_t i = 0;
        Json v = Value(s, i);
        return v;
    }

private:
    static void Skip(const std::string& s, std::size_t& i) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
    }
    static void Utf8(std::string& out, unsigned cp) {
        if (cp < 0x80) out += char(cp);
        else if (cp < 0x800) { out += char(0xC0 | (cp >> 6)); out += char(0x80 | (cp & 0x3F)); }
        else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12)); out += char(0x80 | ((cp >> 6) & 0x3F)); out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18)); out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F)); out += char(0x80 | (cp & 0x3F));
        }
    }
    static std::string String(const std::string& s, std::size_t& i) {
        std::string out;
        ++i;  // opening quote
        while (i < s.size() && s[i] != '"') {
            if (s[i] != '\\') { out += s[i++]; continue; }
            const char e = s[++i];
            ++i;
            switch (e) {
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    unsigned cp = static_cast<unsigned>(std::stoul(s.substr(i, 4), nullptr, 16));
                    i += 4;
                    if (cp >= 0xD800 && cp <= 0xDBFF && s.compare(i, 2, "\\u") == 0) {
                        const unsigned low = static_cast<unsigned>(std::stoul(s.substr(i + 2, 4), nullptr, 16));
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        i += 6;
                    }
                    Utf8(out, cp);
                    break;
                }
                default: out += e;
            }
        }
        ++i;  // closing quote
        return out;
    }
    static Json Value(const std::string& s, std::size_t& i) {
        Skip(s, i);
        Json v;
        if (i >= s.size()) throw std::runtime_error("JSON ends early");
        const char c = s[i];
        if (c == '"') { v.kind = Kind::String; v.text = String(s, i); }
        else if (c == '{') {
            v.kind = Kind::Object;
            ++i;
            for (Skip(s, i); i < s.size() && s[i] != '}';) {
                Skip(s, i);
                const std::string key = String(s, i);
                Skip(s, i);
                ++i;  // colon
                v.fields[key] = Value(s, i);
                Skip(s, i);
                if (s[i] == ',') ++i;
                Skip(s, i);
            }
            ++i;
        } else if (c == '[') {
            v.kind = Kind::Array;
            ++i;
            for (Skip(s, i); i < s.size() && s[i] != ']';) {
                v.items.push_back(Value(s, i));
                Skip(s, i);
                if (s[i] == ',') ++i;
                Skip(s, i);
            }
            ++i;
        } else if (s.compare(i, 4, "true") == 0) { v.kind = Kind::Bool; v.boolean = true; i += 4; }
        else if (s.compare(i, 5, "false") == 0) { v.kind = Kind::Bool; i += 5; }
        else if (s.compare(i, 4, "null") == 0) { i += 4; }
        else {
            std::size_t used = 0;
            v.kind = Kind::Number;
            v.number = std::stod(s.substr(i, 40), &used);
            i += used;
        }
        return v;
    }
};

// A JSON string literal for building catalogs.
inline std::string JsonText(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\r') { out += "\\r"; continue; }
        if (c == '\n') { out += "\\n"; continue; }
        out += c;
    }
    return out + "\"";
}
