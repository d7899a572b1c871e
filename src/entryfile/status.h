#pragma once

#include <QString>

// The outcome of an operation that touches the file system. Lower layers hand it up;
// only the windows decide whether a failure is shown or passed over in silence.
class [[nodiscard]] Status {
public:
    static Status success() { return Status(); }
    static Status failure(QString message) { return Status(std::move(message)); }

    bool ok() const { return m_failed == false; }
    explicit operator bool() const { return ok(); }
    // The words the error report shows: what failed, the path and the system's reason.
    const QString &message() const { return m_message; }

private:
    Status() = default;
    explicit Status(QString message) : m_failed(true), m_message(std::move(message)) {}

    bool m_failed = false;
    QString m_message;
};
