// Units whose firmware answers a little differently, and the ways USB splits
// their replies: the grid the window's and qvlctl's connection tests run.
#pragma once

#include <cstddef>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "sim/VirtualUnit.h"

struct UnitVariant {
    const char* pszName;
    IdentityVariant identity;
    bool bTrimEmpty;
    const char* pszVersion; // what is shown for the unit's version
    const char* pszMcuId;   // and for its MCU ID
};

struct ReplySplit {
    const char* pszName;
    size_t nChunk;
    int nPauseMs;
    bool bPerLine;
    int nLateLfMs;
};

inline const UnitVariant kUnitVariants[] = {
    {"VersionLineOnly", IdentityVariant::VersionOnly, false, "1.0.4", ""},
    {"McuIdLineOnly", IdentityVariant::McuIdOnly, false, "", "0123ABCD"},
    {"ExtraIdentityLine", IdentityVariant::ExtraLine, false, "1.0.4", "0123ABCD"},
    {"TrimmedEmptyValues", IdentityVariant::Both, true, "1.0.4", "0123ABCD"},
};

inline const ReplySplit kReplySplits[] = {
    {"Whole", 0, 0, false, 0},
    {"LinePerPacket", 0, 20, true, 0},
    {"Bytes11Every40ms", 11, 40, false, 0},
    {"LateLf", 0, 0, false, 40},
};

using VariantParam = std::tuple<UnitVariant, ReplySplit>;

// The identity reply and empty-value style of the variant.
inline void ApplyVariant(const UnitVariant& variant, VirtualUnitOptions& options)
{
    options.strVersionReply = IdentityReply(variant.identity, "1.0.4", "0123ABCD");
    options.bTrimEmptyValues = variant.bTrimEmpty;
}

// The split, as faults of the virtual unit.
inline VirtualUnitFaults SplitFaults(const ReplySplit& split)
{
    VirtualUnitFaults faults;
    faults.nChunkSize = split.nChunk;
    faults.nChunkPauseMs = split.nPauseMs;
    faults.bPacketPerLine = split.bPerLine;
    faults.nLateLfMs = split.nLateLfMs;
    return faults;
}

inline std::string VariantParamName(const ::testing::TestParamInfo<VariantParam>& info)
{
    return std::string(std::get<0>(info.param).pszName) + "_" + std::get<1>(info.param).pszName;
}

#define QVL_INSTANTIATE_VARIANTS(suite)                                                                                \
    INSTANTIATE_TEST_SUITE_P(                                                                                          \
        Units, suite, ::testing::Combine(::testing::ValuesIn(kUnitVariants), ::testing::ValuesIn(kReplySplits)),       \
        VariantParamName)
