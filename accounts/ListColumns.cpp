#include "accounts/ListColumns.h"

#include <iterator>

namespace {

constexpr ListColumn kBankColumns[] = {
    {"序号", 60},      {"结果代码", 0},   {"结果说明", 100}, {"银行代码", 100},
    {"银行账户", 100}, {"账户全称", 100}, {"银行全称", 200},
};

constexpr ListColumn kReserveColumns[] = {
    {"序号", 60}, {"结果代码", 0}, {"结果说明", 200}, {"备付金账户", 200}, {"账户名称", 200},
};

static_assert(std::size(kBankColumns) == kColumnBankFullName + 1);
static_assert(std::size(kReserveColumns) == kColumnReserveAccountName + 1);

} // namespace

std::span<const ListColumn> BankListColumns() {
    return kBankColumns;
}
std::span<const ListColumn> ReserveListColumns() {
    return kReserveColumns;
}
