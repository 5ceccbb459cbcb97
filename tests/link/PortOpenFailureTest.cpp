// Why a port did not open, by the code of either system: the same table on
// every system, so both are checked wherever the tests run.
#include <cerrno>

#include <gtest/gtest.h>

#include "link/PortOpenFailure.h"

TEST(PortOpenFailure, EachSystemsCodesGiveTheirReason)
{
    struct Case {
        ErrorCodeSet set;
        long nCode;
        FailureKind kind;
    };
    using K = FailureKind;
    const Case cases[] = {
        {ErrorCodeSet::Posix, EBUSY, K::InUse},
        {ErrorCodeSet::Posix, EACCES, K::Denied},
        {ErrorCodeSet::Posix, EPERM, K::Denied},
        {ErrorCodeSet::Posix, ENOENT, K::NotFound},
        {ErrorCodeSet::Posix, ENODEV, K::NotFound},
        {ErrorCodeSet::Posix, ENXIO, K::NotFound},
        {ErrorCodeSet::Posix, EIO, K::IoError},
        // ERROR_ACCESS_DENIED is what a port held by another program gives.
        {ErrorCodeSet::Windows, 5, K::InUse},
        {ErrorCodeSet::Windows, 32, K::InUse},
        {ErrorCodeSet::Windows, 2, K::NotFound},
        {ErrorCodeSet::Windows, 3, K::NotFound},
        {ErrorCodeSet::Windows, 1167, K::NotFound},
        {ErrorCodeSet::Windows, 1314, K::Denied},
        // ERROR_INVALID_FUNCTION (not a serial port) and ERROR_INVALID_DATA
        // share their numbers with EPERM and EACCES: not a permission matter.
        {ErrorCodeSet::Windows, 1, K::IoError},
        {ErrorCodeSet::Windows, 13, K::IoError},
    };
    for (const Case& c : cases) {
        const PortOpenFailure failure = ClassifyPortOpenFailure(c.set, c.nCode, "system text");
        EXPECT_EQ(failure.kind, c.kind) << (c.set == ErrorCodeSet::Windows ? "Windows " : "errno ") << c.nCode;
        EXPECT_FALSE(failure.strAdvice.empty());
        EXPECT_EQ(failure.strReason == "system text", c.kind == K::IoError);
    }
    // Linux advice (udev, dialout) is never shown on Windows.
    EXPECT_EQ(ClassifyPortOpenFailure(ErrorCodeSet::Windows, 1314, "").strAdvice.find("dialout"), std::string::npos);
    EXPECT_EQ(ClassifyPortOpenFailure(ErrorCodeSet::Windows, 5, "").strReason, "in use by another program");
    EXPECT_EQ(ClassifyPortOpenFailure(ErrorCodeSet::Posix, EACCES, "").strReason,
              "permission denied; see README, 'Access to the unit'");
}
