// Tile downloads off the window thread: one worker thread drives a libcurl
// multi handle with a bounded number of parallel connections. A tile is
// stored only from an HTTP 200 response whose body decodes as an image; the
// body is written to a temporary name in the tile's folder and renamed into
// place, so a failed or cut download never leaves a file that later
// renderings would take as cached. Results come back to the fetcher's own
// thread as queued calls. Starting a new batch or cancelling drops whatever
// is outstanding.
#pragma once

#include <QImage>
#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace trakvio {

inline constexpr int kDefaultTileConnections = 4;

struct TileJob {
    int32_t x = 0, y = 0;
    std::string url;
    std::filesystem::path path;
};

struct TileFetchOptions {
    int maxConnections = kDefaultTileConnections;
    long connectTimeoutMs = 10000;
    long totalTimeoutMs = 30000;
    // A body larger than this is no tile; the transfer is dropped.
    size_t maxBodyBytes = 16u << 20;
};

class TileFetcher : public QObject {
    Q_OBJECT
  public:
    explicit TileFetcher(QObject* parent = nullptr, TileFetchOptions options = {});
    ~TileFetcher() override;

    // Starts fetching jobs, dropping any batch still outstanding. Returns the
    // batch's number, carried by its signals.
    quint64 Start(std::vector<TileJob> jobs);
    // Drops the outstanding batch (no further signals for it).
    void Cancel();
    // True while a batch has jobs not reported yet.
    bool busy() const { return busy_; }

  signals:
    // One job finished: ok with the decoded image when the tile was stored.
    void tileDone(quint64 batch, int x, int y, bool ok, const QImage& image);
    // Every job of the batch has reported.
    void batchDone(quint64 batch);

  private:
    struct Transfer;
    void Run();
    void Finish(Transfer* t, int curlResult);
    void Post(quint64 batch, int x, int y, bool ok, QImage image, bool last);

    TileFetchOptions options_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TileJob> pending_;  // guarded by mutex_
    quint64 requested_ = 0;        // guarded: batch asked for
    bool stop_ = false;            // guarded
    void* multi_ = nullptr;        // CURLM*, made before the worker starts
    std::thread worker_;
    // Window-thread state.
    quint64 current_ = 0;
    bool busy_ = false;
    int outstanding_ = 0;
};

}  // namespace trakvio
