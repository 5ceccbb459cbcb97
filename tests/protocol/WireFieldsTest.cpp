// The field catalogue's rows must hold together: a row added or changed in a
// way that breaks a lookup or an order fails here before any file or unit
// sees it. The texts and orders themselves are checked where they show (the
// preset, log, window and qvlctl tests).
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/TextUtil.h"
#include "protocol/WireFields.h"

namespace {

std::string LowerAscii(const std::string& str)
{
    std::string out;
    for (char c : str)
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

struct Group {
    const char* pszName;
    const std::vector<FieldSpec>& specs;
};

std::vector<Group> Groups()
{
    return {{"WWAN", WwanFieldSpecs()}, {"Wi-Fi", WifiFieldSpecs()}};
}

} // namespace

// Preset keys are looked up ignoring letter case, qvlctl takes a field by its
// name or its wire key, and each order is a place per field: a clash would
// make one field read, set or log another's value.
TEST(FieldCatalogue, EachGroupNamesAndPlacesEveryFieldOnce)
{
    for (const Group& group : Groups()) {
        SCOPED_TRACE(group.pszName);
        std::set<std::string> presetKeys, ctlNames, logNames;
        std::set<int> presetPlaces, logPlaces;
        for (const FieldSpec& spec : group.specs) {
            SCOPED_TRACE(spec.pszKey);
            EXPECT_TRUE(presetKeys.insert(LowerAscii(ToUtf8(spec.pszPresetKey))).second);
            EXPECT_TRUE(logNames.insert(spec.pszLogName).second);
            EXPECT_TRUE(presetPlaces.insert(spec.nPresetPos).second);
            EXPECT_TRUE(logPlaces.insert(spec.nLogPos).second);
            // Its qvlctl name and wire key name no other field.
            for (const FieldSpec& other : group.specs) {
                if (&other == &spec)
                    continue;
                EXPECT_NE(spec.pszCtlName, std::string(other.pszCtlName));
                EXPECT_NE(spec.pszCtlName, std::string(other.pszKey));
                EXPECT_NE(spec.pszKey, std::string(other.pszKey));
            }
        }
        // The places are 0 .. n-1.
        const int nLast = static_cast<int>(group.specs.size()) - 1;
        for (const std::set<int>* pPlaces : {&presetPlaces, &logPlaces}) {
            EXPECT_EQ(*pPlaces->begin(), 0);
            EXPECT_EQ(*pPlaces->rbegin(), nLast);
        }
    }
}

// A preset without the key, or with an index outside the list, gives the
// default: for an index field it must be a list position ("0", "1", ...), or
// the unit is sent an index it refuses. qvlctl takes a list item ignoring
// letter case, so no two items may differ only by it.
TEST(FieldCatalogue, IndexDefaultsAreListPositionsAndItemsAreDistinct)
{
    for (const Group& group : Groups()) {
        for (const FieldSpec& spec : group.specs) {
            SCOPED_TRACE(spec.pszKey);
            if (!spec.IsIndex()) {
                EXPECT_EQ(std::wstring(spec.pszPresetDefault), L"");
                continue;
            }
            bool bPosition = false;
            for (int i = 0; i <= spec.MaxIndex(); ++i)
                bPosition = bPosition || spec.pszPresetDefault == std::to_wstring(i);
            EXPECT_TRUE(bPosition) << "default \"" << ToUtf8(spec.pszPresetDefault) << "\"";
            std::set<std::string> labels;
            for (const std::string& strLabel : spec.arrLabels) {
                EXPECT_FALSE(strLabel.empty());
                EXPECT_TRUE(labels.insert(LowerAscii(strLabel)).second) << strLabel;
            }
        }
    }
}
