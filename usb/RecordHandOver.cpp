#include "RecordHandOver.h"

void RecordHandOver::publish(ConfigurationRecord record, ConfigurationSource source)
{
    std::lock_guard<std::mutex> lock(mutex_);
    record_ = std::move(record);
    source_ = std::move(source);
    ++loadSerial_;
    programmingRequested_ = true;
}

std::optional<RecordHandOver::Snapshot> RecordHandOver::take()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!programmingRequested_)
        return std::nullopt;
    programmingRequested_ = false;
    return Snapshot{record_, source_, loadSerial_};
}

void RecordHandOver::storeSentName(std::uint64_t loadSerial, const QString &sentName)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (loadSerial_ == loadSerial)
        record_.newNameOfDevice = sentName;
}

void RecordHandOver::passEnded(std::uint64_t loadSerial)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (loadSerial > lastPassSerial_)
        lastPassSerial_ = loadSerial;
}

bool RecordHandOver::lastPassSentNewestLoad() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lastPassSerial_ == loadSerial_;
}

bool RecordHandOver::programmingRequested() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return programmingRequested_;
}

void RecordHandOver::clearRequest()
{
    std::lock_guard<std::mutex> lock(mutex_);
    programmingRequested_ = false;
}

ConfigurationRecord RecordHandOver::record() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
}

std::uint64_t RecordHandOver::loadSerial() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return loadSerial_;
}
