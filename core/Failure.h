#pragma once
// Why something failed, in one shape for every layer: a kind that callers
// branch on, the system's own code where there is one (an errno value, or a
// Windows error code where the failure comes from a Windows call), and the
// text shown to people. A call that can fail returns a Status: success, or
// the Failure that stopped it. Display-free.

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "core/TextUtil.h"

enum class FailureKind {
    NotFound,    // no such file, section, port or device
    Denied,      // no permission, or read-only
    InUse,       // another holder has it
    InvalidData, // content or a value that cannot be used
    TooLarge,    // more than the reader takes
    IoError,     // anything else the system reported
};

struct Failure {
    FailureKind kind = FailureKind::IoError;
    int nCode = 0;        // errno or Windows error code; 0 when the failure is not the system's
    std::wstring strText; // what went wrong, in words
};

class [[nodiscard]] Status {
public:
    Status() = default; // success
    Status(Failure failure) : m_failure(std::move(failure)), m_bFailed(true) { }

    bool Ok() const { return !m_bFailed; }
    explicit operator bool() const { return !m_bFailed; }
    // TRUE when it failed, of this kind.
    bool Is(FailureKind kind) const { return m_bFailed && m_failure.kind == kind; }
    // What failed; an empty text on success.
    const Failure& Why() const { return m_failure; }
    const std::wstring& Text() const { return m_failure.strText; }

private:
    Failure m_failure;
    bool m_bFailed = false;
};

inline FailureKind FailureKindOfErrno(int nErr)
{
    switch (nErr) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        return FailureKind::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return FailureKind::Denied;
    case EBUSY:
        return FailureKind::InUse;
    case EFBIG:
        return FailureKind::TooLarge;
    default:
        return FailureKind::IoError;
    }
}

// A failure the system reported as an errno value, with the system's text.
inline Failure ErrnoFailure(int nErr)
{
    return Failure{FailureKindOfErrno(nErr), nErr, FromUtf8(std::strerror(nErr))};
}
