#pragma once

#include <QString>

// The outcome of an operation that touches the file system. Lower layers hand it up;
// only the windows decide whether a failure is shown or passed over in silence.
class [[nodiscard]] Status {
public:
    // Why a save did not replace the file it was told to expect: something else wrote
    // the file, put another file in its place, or deleted it since it was read. Not an
    // error to report but a question for the user.
    enum class Conflict { None, Changed, Replaced, Deleted };

    static Status success() { return Status(); }
    static Status failure(QString message) { return Status(std::move(message)); }
    static Status conflicting(Conflict conflict, QString message)
    {
        Status status(std::move(message));
        status.m_conflict = conflict;
        return status;
    }

    bool ok() const { return m_failed == false; }
    explicit operator bool() const { return ok(); }
    // The words the error report shows: what failed, the path and the system's reason.
    const QString &message() const { return m_message; }
    Conflict conflict() const { return m_conflict; }

private:
    Status() = default;
    explicit Status(QString message) : m_failed(true), m_message(std::move(message)) {}

    bool m_failed = false;
    Conflict m_conflict = Conflict::None;
    QString m_message;
};
