#pragma once

#include "TarvoCore/DiskIO.h"

#include <QString>

#include <mutex>
#include <optional>
#include <vector>

namespace tarvo::test {

// Watches every flush, rename, open and write of ours while alive, and fails
// the ones a test asks it to. Calls read "rename .item.json.ID.tmp -> item.json":
// the call, then last path components with every UUID written "ID".
class DiskRecorder final {
public:
    DiskRecorder();
    ~DiskRecorder();
    DiskRecorder(const DiskRecorder&) = delete;
    DiskRecorder& operator=(const DiskRecorder&) = delete;

    std::vector<QString> calls() const;
    void clear();
    // From now on, fails every `call` whose path ends with `pathSuffix` with `code`.
    void fail(DiskIO::Call call, const QString& pathSuffix, int code);

    // A power cut: from the `call`-th call on (0 is the next one), every call
    // fails with `code` and nothing more reaches the disk.
    void failFrom(std::size_t call, int code);
    // The disk works again: every fault is forgotten.
    void restore();

    static QString label(const QString& path);

private:
    struct Fault {
        DiskIO::Call call;
        QString suffix;
        int code;
    };
    int observe(DiskIO::Call call, const QString& path, const QString& other);

    mutable std::mutex m_mutex;
    std::vector<QString> m_calls;
    std::vector<Fault> m_faults;
    std::optional<std::size_t> m_cutAt;
    int m_cutCode = 0;
};

} // namespace tarvo::test
