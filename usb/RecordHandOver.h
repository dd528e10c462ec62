#pragma once

#include "ConfigurationLoader.h"
#include "ConfigurationRecord.h"

#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>

// Hands the configuration record from the loader to the programming pass. The loader publishes a
// freshly loaded record together with the request for a pass; the programming thread takes a
// snapshot of it when it serves the request, so a load during a pass never changes that pass's
// bytes. Every member is guarded by one lock inside.
class RecordHandOver
{
public:
    // Publishes a freshly loaded record, with the file it was loaded from, and then requests a
    // pass, all under the lock: a pass never sees the request without the whole record.
    void publish(ConfigurationRecord record, ConfigurationSource source = {});

    // What a pass sends: the record, the file it came from and which load it was.
    struct Snapshot
    {
        ConfigurationRecord record;
        ConfigurationSource source;
        std::uint64_t loadSerial = 0;
    };
    // Serves the request: clears it and returns the record. Nothing when no pass is requested.
    std::optional<Snapshot> take();

    // Stores the product name as a pass sent it (shortened) into the record, unless a newer
    // load than `loadSerial` has replaced the record meanwhile.
    void storeSentName(std::uint64_t loadSerial, const QString &sentName);

    // A pass of the load `loadSerial` has ended (with any result).
    void passEnded(std::uint64_t loadSerial);
    // Whether the pass that ended last sent the newest load. False from the moment a newer load
    // is published until a pass of it ends: an older pass's result is then not this load's.
    bool lastPassSentNewestLoad() const;

    bool programmingRequested() const;
    void clearRequest();

    ConfigurationRecord record() const; // a copy
    std::uint64_t loadSerial() const; // counts the loads published

private:
    mutable std::mutex mutex_;
    ConfigurationRecord record_;
    ConfigurationSource source_;
    bool programmingRequested_ = false;
    std::uint64_t loadSerial_ = 0;
    std::uint64_t lastPassSerial_ = 0; // the load the pass that ended last had sent
};
