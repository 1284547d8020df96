#pragma once
// The columns of the two account lists, kept in one table so that the Qt window
// and the terminal front end show the same titles and widths, and the core
// writes into the same columns they show.

#include <span>

struct ListColumn {
    const char* title; // UTF-8
    int width;         // pixels; 0 keeps the column out of sight until dragged wider
};

// The lists' names as the window's group boxes show them; exported files name
// each row's list by them.
inline constexpr const char* kReserveListKind = "A股备付金账户";
inline constexpr const char* kBankListKind = "银行账户";

// Columns both lists share, by index.
inline constexpr int kColumnRowNumber = 0;
inline constexpr int kColumnResultCode = 1;
inline constexpr int kColumnResultText = 2;

// Record columns of the bank list.
inline constexpr int kColumnBankCode = 3;
inline constexpr int kColumnBankAccountNo = 4;
inline constexpr int kColumnAccountFullName = 5;
inline constexpr int kColumnBankFullName = 6;

// Record columns of the A-share reserve list.
inline constexpr int kColumnReserveAccountNo = 3;
inline constexpr int kColumnReserveAccountName = 4;

std::span<const ListColumn> BankListColumns();
std::span<const ListColumn> ReserveListColumns();
