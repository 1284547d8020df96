#include "tools/mkdata/SampleAccounts.h"

#include "accounts/AccountRecords.h"
#include "support/Text.h"

#include <array>
#include <random>
#include <string_view>
#include <vector>

namespace {

// Name parts, UTF-8. Invented firm names built from common words.
constexpr std::array<std::string_view, 16> kCities{
    "上海", "北京", "深圳", "广州", "杭州", "南京", "成都", "武汉",
    "天津", "重庆", "西安", "苏州", "厦门", "青岛", "长沙", "乌鲁木齐"};
constexpr std::array<std::string_view, 16> kBrands{"瑞丰", "恒信", "鼎晟", "宏图",  "安泰", "德润",
                                                   "嘉禾", "金石", "汇川", "永安",  "明德", "正源",
                                                   "华茂", "和盛", "睿远", "信达通"};
constexpr std::array<std::string_view, 8> kDistricts{"浦东", "黄浦", "朝阳", "福田",
                                                     "天河", "西湖", "鼓楼", "高新区"};
constexpr std::array<std::string_view, 4> kReserveKinds{"结算备付金", "客户备付金", "自营备付金",
                                                        "信用备付金"};

// Deterministic: std::mt19937's output is fixed by the standard, unlike the
// standard distributions, so picks are made by plain modulo.
class SampleRandom {
public:
    explicit SampleRandom(std::uint32_t seed) : m_engine(seed) {}
    int Below(int n) { return static_cast<int>(m_engine() % static_cast<std::uint32_t>(n)); }
    template <std::size_t N> std::string_view Pick(const std::array<std::string_view, N>& from) {
        return from[static_cast<std::size_t>(Below(static_cast<int>(N)))];
    }
    std::string Digits(int length) {
        std::string out;
        for (int i = 0; i < length; ++i)
            out += static_cast<char>('0' + Below(10));
        return out;
    }

private:
    std::mt19937 m_engine;
};

// How a value sits in its fixed field.
enum class Padding { Blanks, Nuls, LeadingBlank };

// GBK text of at most `width` bytes, cut without splitting a character.
std::string FitGbk(std::string_view utf8, std::size_t width) {
    std::vector<char> field(width + 1, '\0');
    text::CopyToField(field.data(), field.size(), text::Utf8ToGbk(utf8));
    return std::string(text::FieldText(field.data(), field.size()));
}

// Writes `value` (GBK) into `width` bytes at the end of `record`.
void AppendField(std::string& record, std::string_view utf8, std::size_t width, Padding padding) {
    std::string value = FitGbk(utf8, width);
    if (padding == Padding::LeadingBlank && value.size() < width)
        value.insert(value.begin(), ' ');
    value.resize(width, padding == Padding::Nuls ? '\0' : ' ');
    record += value;
}

// A number unique within its file: random digits, then the record index.
std::string AccountNumber(SampleRandom& random, int index, int length) {
    const std::string suffix = text::Format("%06d", index % 1000000);
    const int prefixLength = length > 6 ? length - 6 : 0;
    return (random.Digits(prefixLength) + suffix).substr(0, static_cast<std::size_t>(length));
}

Padding PaddingFor(int index, int field) {
    switch ((index + field) % 3) {
    case 0:
        return Padding::Blanks;
    case 1:
        return Padding::Nuls;
    default:
        return Padding::LeadingBlank;
    }
}

std::string AnyFirmName(SampleRandom& random) {
    const std::string city(random.Pick(kCities));
    const std::string brand(random.Pick(kBrands));
    switch (random.Below(5)) {
    case 0:
        return city + brand + "证券股份有限公司";
    case 1:
        return brand + "证券";
    case 2:
        return brand + "证券有限责任公司" + city + "分公司";
    case 3:
        return brand + "证券(香港)有限公司";
    default:
        return city + brand + "证券营业部";
    }
}

std::string AnyBankName(SampleRandom& random) {
    const std::string city(random.Pick(kCities));
    const std::string brand(random.Pick(kBrands));
    switch (random.Below(4)) {
    case 0:
        return brand + "银行" + city + "分行";
    case 1:
        return city + "农村商业银行";
    case 2:
        return brand + "银行" + city + std::string(random.Pick(kDistricts)) + "支行";
    default:
        return brand + "银行";
    }
}

// Names are drawn again until one fits its 30-byte field whole, so that no
// sample name ends in half a word; only the first record fills its fields.
template <typename Draw> std::string NameThatFits(SampleRandom& random, Draw draw) {
    for (;;) {
        std::string name = draw(random);
        if (text::Utf8ToGbk(name).size() <= 30)
            return name;
    }
}

std::string FirmName(SampleRandom& random) {
    return NameThatFits(random, AnyFirmName);
}
std::string BankName(SampleRandom& random) {
    return NameThatFits(random, AnyBankName);
}

// A name of exactly 15 Chinese characters, which fills a 30-byte field:
// a two-character city and brand, then 8 + 3 characters of `kind` and `tail`.
std::string FullFieldName(SampleRandom& random, std::string_view kind, std::string_view tail) {
    auto twoCharacters = [&random](const auto& from) {
        std::string_view pick;
        do
            pick = random.Pick(from);
        while (pick.size() != 6); // two characters of three UTF-8 bytes
        return std::string(pick);
    };
    return twoCharacters(kCities) + twoCharacters(kBrands) + std::string(kind) + std::string(tail);
}

} // namespace

std::string MakeBankFile(int count, std::uint32_t seed) {
    SampleRandom random(seed);
    std::string file;
    file.reserve(static_cast<std::size_t>(count > 0 ? count : 0) * kBankFileRecordLength);
    for (int i = 0; i < count; ++i) {
        std::string record;
        // The first record fills every field to the last byte.
        const bool fill = i == 0;
        const std::string code = fill ? random.Digits(4) : random.Digits(2 + random.Below(3));
        const std::string number = AccountNumber(random, i, fill ? 28 : 12 + random.Below(17));
        const std::string accountName =
            fill ? FullFieldName(random, "证券股份有限公司", "营业部") : FirmName(random);
        const std::string bankName =
            fill ? FullFieldName(random, "银行股份有限公司", "营业部") : BankName(random);
        AppendField(record, code, 4, fill ? Padding::Blanks : PaddingFor(i, 0));
        AppendField(record, number, 28, fill ? Padding::Blanks : PaddingFor(i, 1));
        AppendField(record, accountName, 30, fill ? Padding::Blanks : PaddingFor(i, 2));
        AppendField(record, bankName, 30, fill ? Padding::Blanks : PaddingFor(i, 3));
        // Bytes 92-121 carry nothing the tool reads: a note or blanks.
        AppendField(record, random.Below(2) ? "备注" + random.Digits(8) : "", 30, Padding::Blanks);
        file += record;
    }
    return file;
}

std::string MakeReserveFile(int count, std::uint32_t seed, bool bShare) {
    SampleRandom random(seed ^ (bShare ? 0x5bd1e995u : 0x9e3779b9u));
    std::string file;
    file.reserve(static_cast<std::size_t>(count > 0 ? count : 0) * kReserveFileRecordLength);
    for (int i = 0; i < count; ++i) {
        std::string record;
        const bool fill = i == 0;
        const std::string number = AccountNumber(random, i, fill ? 18 : 8 + random.Below(11));
        std::string name;
        if (fill)
            name = FullFieldName(random, "证券股份有限公司", "备付金");
        else if (bShare)
            name = std::string(random.Pick(kBrands)) + "证券B股备付金";
        else
            name = std::string(random.Pick(kBrands)) + "证券" +
                   std::string(random.Pick(kReserveKinds));
        AppendField(record, number, 18, fill ? Padding::Blanks : PaddingFor(i, 0));
        AppendField(record, name, 30, fill ? Padding::Blanks : PaddingFor(i, 1));
        file += record;
    }
    return file;
}
