#pragma once
#include <cstddef>
#include <functional>
#include <string>

// A byte stream to the desktop. Every call returns at once with its outcome as a value
// and never shows anything; what the peer does later (data it should never send, its
// close) is reported on the UI thread, never from inside a call of this interface.
class IByteLink {
public:
    enum class EConnect {
        Connected,
        Failed,        // the link exists but reaches no desktop
        CreateFailed,  // not even a socket
    };
    struct SConnect {
        EConnect outcome = EConnect::Failed;
        int error = 0;  // the system's reason (errno), 0 when connected
    };
    struct SSend {
        int sent = -1;  // the count written, or -1
        int error = 0;
    };
    enum class EReport { Received, Closed };
    using Report = std::function<void(EReport, int error)>;

    virtual ~IByteLink() = default;
    // Drops any connection and makes a fresh one, waiting at most timeoutMs. A port
    // outside 1..65535 is never dialled.
    virtual SConnect Connect(const std::string& address, int port, int timeoutMs) = 0;
    // A length of 0 still counts as a write. After a failed Connect every Send fails.
    virtual SSend Send(const void* bytes, std::size_t length) = 0;
    // Ends the connection both ways and releases it; nothing is reported for it after.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Data arrived (once per arrival) or the peer ended the connection (once).
    virtual void SetReport(Report report) = 0;
    // Whether this system can make a link at all.
    virtual bool Available() = 0;
    // Whether the desktop at the other end takes a pen's samples (the browser's
    // WebSocket learns it as it opens); false where it cannot be known.
    virtual bool TakesPenSamples() const { return false; }
};
