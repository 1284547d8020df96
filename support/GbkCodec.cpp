#include "support/GbkCodec.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace text::codec {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
constexpr std::string_view kEuroUtf8 = "\xE2\x82\xAC";

// One converter per direction and thread: opening one costs far more than a
// short conversion, and iconv_t is not safe to share between threads.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " +
                                     to);
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`, appending to `out`. At each byte that cannot be converted
    // it calls onError(in, out) which must consume at least one byte of `in`.
    template <typename OnError> void Run(std::string_view in, std::string& out, OnError onError) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        while (!in.empty()) {
            const std::size_t start = out.size();
            out.resize(start + in.size() * 4 + 16);
            char* src = const_cast<char*>(in.data());
            std::size_t srcLeft = in.size();
            char* dst = out.data() + start;
            std::size_t dstLeft = out.size() - start;
            const std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            const int err = errno;
            out.resize(out.size() - dstLeft);
            in.remove_prefix(in.size() - srcLeft);
            if (rc != static_cast<std::size_t>(-1))
                break;
            if (err == E2BIG)
                continue;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
            onError(in, out);
        }
    }

private:
    iconv_t m_cd;
};

std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 1;
}

// Where the first tag character (U+E0000-U+E007F: F3 A0 80-81 xx) starts.
std::size_t FindTagCharacter(std::string_view s) {
    constexpr std::string_view kTagStart = "\xF3\xA0";
    std::size_t i = s.find(kTagStart);
    for (; i != std::string_view::npos; i = s.find(kTagStart, i + 1))
        if (i + 3 < s.size() && (s[i + 2] == '\x80' || s[i + 2] == '\x81') &&
            (static_cast<unsigned char>(s[i + 3]) & 0xC0) == 0x80)
            return i;
    return std::string_view::npos;
}

bool ConvertUtf8AsGbk(std::string_view in, std::string& out) {
    thread_local Converter encoder("GBK", "UTF-8");
    bool exact = true;
    encoder.Run(in, out, [&exact](std::string_view& rest, std::string& o) {
        exact = false;
        o += '?';
        std::size_t skip = Utf8SequenceLength(static_cast<unsigned char>(rest.front()));
        // A malformed sequence is skipped one byte at a time.
        for (std::size_t i = 1; i < skip; ++i) {
            if (i >= rest.size() || (static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80) {
                skip = 1;
                break;
            }
        }
        rest.remove_prefix(skip);
    });
    return exact;
}

} // namespace

void AppendGb18030AsUtf8(std::string_view in, std::string& out) {
    thread_local Converter decoder("UTF-8", "GB18030");
    decoder.Run(in, out, [](std::string_view& rest, std::string& o) {
        // The lone byte 0x80 is the euro sign of code page 936, and what the
        // GBK encoder writes for it; GB18030 alone does not know it.
        o += rest.front() == '\x80' ? kEuroUtf8 : kReplacementUtf8;
        rest.remove_prefix(1);
    });
}

bool AppendUtf8AsGbk(std::string_view in, std::string& out) {
    // The converter drops tag characters without a word; they have no GBK
    // form, so they become '?' like any other such character.
    bool exact = true;
    for (std::size_t tag; (tag = FindTagCharacter(in)) != std::string_view::npos;) {
        exact = ConvertUtf8AsGbk(in.substr(0, tag), out) && exact;
        out += '?';
        exact = false;
        in.remove_prefix(tag + 4);
    }
    return ConvertUtf8AsGbk(in, out) && exact;
}

} // namespace text::codec
