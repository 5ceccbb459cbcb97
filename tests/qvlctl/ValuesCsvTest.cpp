// The per-unit values file: quoting as spreadsheets write it, and every
// refusal naming its row (the file's line) and field, before any unit is
// touched.
#include <gtest/gtest.h>

#include "qvlctl/Provision.h"

namespace {

CtlError Refusal(const std::string& strCsv)
{
    std::map<std::string, UnitValues> rows;
    CtlError err;
    EXPECT_FALSE(ParseValuesCsv("v.csv", strCsv, rows, err)) << strCsv;
    EXPECT_EQ(err.nExit, kExitInvalid);
    return err;
}

} // namespace

// As spreadsheets export: a byte order mark, blanks around cells, rows of
// nothing but commas, blank cells that leave the preset's value.
TEST(ValuesCsvTest, SpreadsheetExportsReadAsMeant)
{
    std::map<std::string, UnitValues> rows;
    CtlError err;
    ASSERT_TRUE(ParseValuesCsv("v.csv",
                               "\xEF\xBB\xBF\"wwan1.apn\",serial, wifi.passphrase ,wwan2.authtype\r\n"
                               "a.m2m, 1001 ,\"x,\"\"y\"\"\",CHAP\r\n\r\n"
                               ",,,\r\n"
                               " , ,\t,\"\"\r\n"
                               " \" b \" ,\"1002 \",plain ,\r\n",
                               rows, err))
        << err.strMessage;
    ASSERT_EQ(rows.size(), 2u);
    const UnitValues& first = rows.at("1001");
    EXPECT_EQ(first.nRow, 2u);
    ASSERT_EQ(first.values.size(), 3u);
    EXPECT_EQ(first.values[0].first->strName, "wwan1.apn");
    EXPECT_EQ(first.values[0].second, L"a.m2m");
    EXPECT_EQ(first.values[1].second, L"x,\"y\"");
    EXPECT_EQ(first.values[2].second, L"1");
    const UnitValues& second = rows.at("1002");
    EXPECT_EQ(second.nRow, 6u);
    ASSERT_EQ(second.values.size(), 2u); // the blank authtype cell sets nothing
    EXPECT_EQ(second.values[0].second, L" b ");
    EXPECT_EQ(second.values[1].second, L"plain");
}

TEST(ValuesCsvTest, RefusalsNameRowAndField)
{
    EXPECT_EQ(Refusal("serial,wwan1.apn\n1,a\n2,b\n1,c\n").strMessage,
              "v.csv row 4: serial number 1 is there twice (also row 2)");
    CtlError err = Refusal("serial,wwan1.apn,wifi.security\n1,a,0\n2,b,WPA3\n");
    EXPECT_EQ(err.strField, "wifi.security");
    EXPECT_EQ(err.strMessage.rfind("v.csv row 3: wifi.security: ", 0), 0u) << err.strMessage;
    err = Refusal("serial,wifi.ssid\n1,\"a\rb\"\n");
    EXPECT_EQ(err.strField, "wifi.ssid");
    EXPECT_EQ(err.strMessage.rfind("v.csv row 2: ", 0), 0u) << err.strMessage;
    EXPECT_EQ(Refusal("serial,wwan9.apn\n1,a\n").strMessage.rfind("v.csv row 1: unknown key \"wwan9.apn\"", 0), 0u);
    EXPECT_EQ(Refusal("wwan1.apn\na\n").strField, "serial");
    EXPECT_EQ(Refusal("serial,wwan1.apn\n1,a,b\n").strMessage, "v.csv row 2: 3 fields, the header has 2");
    EXPECT_EQ(Refusal("serial,wwan1.apn\n1,\"a\n").strMessage, "v.csv row 2: a quote is never closed");
    EXPECT_EQ(Refusal("serial,wwan1.apn\n1,\"a\" b\n").strMessage, "v.csv row 2: text after a closing quote");
    EXPECT_EQ(Refusal("serial,wwan1.apn\n1,a\n ,b\n").strMessage, "v.csv row 3: no serial number");
    err = Refusal("serial,wwan1.apn,wwan2.user,WWAN2.USERNAME\n1,a,b,c\n");
    EXPECT_EQ(err.strMessage, "v.csv row 1: the column wwan2.username is there twice");
    EXPECT_EQ(err.strField, "wwan2.username");
    EXPECT_EQ(Refusal("serial,wwan1.apn, serial\n").strMessage, "v.csv row 1: the column serial is there twice");
}
