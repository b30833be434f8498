#include "map/tile_fetcher.h"

#include <curl/curl.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <system_error>

namespace trakvio {

namespace fs = std::filesystem;

namespace {

struct Body {
    std::string data;
    size_t limit = 0;
};

}  // namespace

struct TileFetcher::Transfer {
    CURL* easy = nullptr;
    TileJob job;
    quint64 batch = 0;
    Body body;
};

namespace {

std::once_flag curlInitOnce;

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const size_t n = size * count;
    if (body->data.size() + n > body->limit) return 0;  // no tile is that large: abort
    body->data.append(data, n);
    return n;
}

// A name no other writer uses: the renderer's batches never share one.
fs::path TemporaryName(const fs::path& path) {
    static std::atomic<unsigned> counter{0};
    return path.parent_path() /
           (path.filename().string() + ".part" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
}

// Writes body to a temporary file beside path and renames it into place.
bool StoreTile(const fs::path& path, const std::string& body) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) return false;
    const fs::path temp = TemporaryName(path);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(body.data(), static_cast<std::streamsize>(body.size()));
        out.close();
        if (!out) {
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace

TileFetcher::TileFetcher(QObject* parent, TileFetchOptions options) : QObject(parent), options_(options) {
    if (options_.maxConnections < 1) options_.maxConnections = 1;
    std::call_once(curlInitOnce, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURLM* multi = curl_multi_init();
    if (multi) curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(options_.maxConnections));
    multi_ = multi;
    worker_ = std::thread([this] { Run(); });
}

TileFetcher::~TileFetcher() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (multi_) curl_multi_wakeup(static_cast<CURLM*>(multi_));
    if (worker_.joinable()) worker_.join();
    if (multi_) curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

quint64 TileFetcher::Start(std::vector<TileJob> jobs) {
    const quint64 batch = ++current_;
    outstanding_ = static_cast<int>(jobs.size());
    busy_ = outstanding_ > 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requested_ = batch;
        pending_.assign(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
    }
    wake_.notify_all();
    if (multi_) curl_multi_wakeup(static_cast<CURLM*>(multi_));
    return batch;
}

void TileFetcher::Cancel() {
    if (!busy_) return;
    Start({});
}

void TileFetcher::Post(quint64 batch, int x, int y, bool ok, QImage image, bool) {
    QMetaObject::invokeMethod(
        this,
        [this, batch, x, y, ok, image = std::move(image)] {
            if (batch != current_ || outstanding_ <= 0) return;
            --outstanding_;
            emit tileDone(batch, x, y, ok, image);
            if (outstanding_ == 0) {
                busy_ = false;
                emit batchDone(batch);
            }
        },
        Qt::QueuedConnection);
}

void TileFetcher::Finish(Transfer* t, int curlResult) {
    long code = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
    const std::string& body = t->body.data;
    bool ok = curlResult == CURLE_OK && code == 200 && !body.empty();
    QImage image;
    if (ok) ok = image.loadFromData(reinterpret_cast<const uchar*>(body.data()), static_cast<int>(body.size()));
    if (ok) ok = StoreTile(t->job.path, body);
    if (!ok) image = QImage();
    Post(t->batch, t->job.x, t->job.y, ok, std::move(image), false);
}

void TileFetcher::Run() {
    CURLM* multi = static_cast<CURLM*>(multi_);
    std::deque<TileJob> queue;
    std::vector<Transfer*> active;
    quint64 batch = 0;
    auto drop = [&](Transfer* t) {
        curl_multi_remove_handle(multi, t->easy);
        curl_easy_cleanup(t->easy);
        delete t;
    };
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stop_) break;
            if (requested_ != batch) {
                for (Transfer* t : active) drop(t);
                active.clear();
                batch = requested_;
                queue.swap(pending_);
                pending_.clear();
            }
            if (active.empty() && queue.empty()) {
                wake_.wait(lock, [&] { return stop_ || requested_ != batch; });
                continue;
            }
        }
        if (!multi) {  // no HTTP at all: every job fails
            while (!queue.empty()) {
                Post(batch, queue.front().x, queue.front().y, false, QImage(), false);
                queue.pop_front();
            }
            continue;
        }
        while (static_cast<int>(active.size()) < options_.maxConnections && !queue.empty()) {
            auto* t = new Transfer;
            t->job = std::move(queue.front());
            queue.pop_front();
            t->batch = batch;
            t->body.limit = options_.maxBodyBytes;
            t->easy = curl_easy_init();
            if (!t->easy) {
                Post(batch, t->job.x, t->job.y, false, QImage(), false);
                delete t;
                continue;
            }
            curl_easy_setopt(t->easy, CURLOPT_URL, t->job.url.c_str());
            curl_easy_setopt(t->easy, CURLOPT_USERAGENT, "Agent-A");
            curl_easy_setopt(t->easy, CURLOPT_FOLLOWLOCATION, 1L);
            curl_easy_setopt(t->easy, CURLOPT_MAXREDIRS, 5L);
            curl_easy_setopt(t->easy, CURLOPT_PROTOCOLS_STR, "http,https");
            curl_easy_setopt(t->easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
            curl_easy_setopt(t->easy, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(t->easy, CURLOPT_CONNECTTIMEOUT_MS, options_.connectTimeoutMs);
            curl_easy_setopt(t->easy, CURLOPT_TIMEOUT_MS, options_.totalTimeoutMs);
            curl_easy_setopt(t->easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options_.maxBodyBytes));
            curl_easy_setopt(t->easy, CURLOPT_WRITEFUNCTION, WriteBody);
            curl_easy_setopt(t->easy, CURLOPT_WRITEDATA, &t->body);
            curl_easy_setopt(t->easy, CURLOPT_PRIVATE, t);
            curl_multi_add_handle(multi, t->easy);
            active.push_back(t);
        }
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            Transfer* t = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &t);
            const int result = msg->data.result;
            for (size_t i = 0; i < active.size(); ++i) {
                if (active[i] == t) {
                    active.erase(active.begin() + static_cast<long>(i));
                    break;
                }
            }
            if (t) {
                Finish(t, result);
                drop(t);
            }
        }
        if (!active.empty()) curl_multi_poll(multi, nullptr, 0, 200, nullptr);
    }
    for (Transfer* t : active) drop(t);
}

}  // namespace trakvio
