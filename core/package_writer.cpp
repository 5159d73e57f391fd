#include "core/package_writer.h"

#include <bzlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "core/os/file_stream.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace core {

const char* PackMethodName(PackMethod method) {
    switch (method) {
    case PackMethod::None: return "none";
    case PackMethod::Lzss: return "lzss";
    case PackMethod::Bzip2: return "bzip2";
    case PackMethod::Best: return "best";
    }
    return "?";
}

bool ParsePackMethod(std::string_view text, PackMethod* method) {
    for (PackMethod m : {PackMethod::None, PackMethod::Lzss, PackMethod::Bzip2, PackMethod::Best})
        if (text == PackMethodName(m)) {
            *method = m;
            return true;
        }
    return false;
}

uint8_t PackMethodByte(PackMethod method) {
    switch (method) {
    case PackMethod::None: return kMethodNone;
    case PackMethod::Lzss: return kMethodLzss;
    default: return kMethodBzip2;
    }
}

namespace {

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = uint8_t(v >> 24);
}

}  // namespace

// ---------------------------------------------------------------------------
// Chunks

uint32_t ChunkEncoder::EncodeLzss(const uint8_t* data, uint32_t size, std::vector<uint8_t>& out) {
    size_t base = out.size();
    out.resize(base + 4);
    size_t codes = lzss_.Encode(data, size, out);
    if (codes + 4 >= size) {
        out.resize(base);
        return 0;
    }
    PutU32(out.data() + base, uint32_t(codes));
    return uint32_t(codes + 4);
}

uint32_t ChunkEncoder::EncodeBzip2(const uint8_t* data, uint32_t size, std::vector<uint8_t>& out) {
    if (size <= kBzip2ChunkHeader + 1) return 0;
    size_t base = out.size();
    // Room only for a result smaller than the input: a larger one is of no use.
    uint32_t room = size - kBzip2ChunkHeader - 1;
    out.resize(base + kBzip2ChunkHeader + room);

    bz_stream s;
    std::memset(&s, 0, sizeof s);
    s.bzalloc = BzipWorkMemory::Alloc;
    s.bzfree = BzipWorkMemory::Free;
    s.opaque = &memory_;
    // The parameters of the library's buffer-to-buffer call: block size 9, verbosity 0, work factor 30.
    if (BZ2_bzCompressInit(&s, 9, 0, 30) != BZ_OK) {
        out.resize(base);
        return 0;
    }
    s.next_in = const_cast<char*>(reinterpret_cast<const char*>(data));
    s.avail_in = size;
    s.next_out = reinterpret_cast<char*>(out.data() + base + kBzip2ChunkHeader);
    s.avail_out = room;
    int rc = BZ2_bzCompress(&s, BZ_FINISH);
    uint32_t packed = room - s.avail_out;
    BZ2_bzCompressEnd(&s);
    if (rc != BZ_STREAM_END) {
        out.resize(base);
        return 0;
    }
    uint8_t* h = out.data() + base;
    PutU32(h, kBzip2ChunkMark);
    PutU32(h + 4, size);
    PutU32(h + 8, packed);
    out.resize(base + kBzip2ChunkHeader + packed);
    return kBzip2ChunkHeader + packed;
}

uint32_t ChunkEncoder::Encode(PackMethod method, const uint8_t* data, uint32_t size, std::vector<uint8_t>& out) {
    if (size >= kMinCompressedChunk && method != PackMethod::None) {
        uint32_t n = 0;
        switch (method) {
        case PackMethod::Lzss: n = EncodeLzss(data, size, out); break;
        case PackMethod::Bzip2: n = EncodeBzip2(data, size, out); break;
        default: {
            // LZSS first: it decodes far faster, so it keeps a tie.
            size_t base = out.size();
            uint32_t lz = EncodeLzss(data, size, out);
            other_.clear();
            uint32_t bz = EncodeBzip2(data, size, other_);
            if (bz && (!lz || bz < lz)) {
                out.resize(base);
                out.insert(out.end(), other_.begin(), other_.end());
                n = bz;
            } else {
                n = lz;
            }
            break;
        }
        }
        if (n) return n;
    }
    out.insert(out.end(), data, data + size);
    return size | kStoredPlain;
}

// ---------------------------------------------------------------------------
// The package file

namespace {

// Buffered output that knows its position and can patch a word written earlier.
class Output {
public:
    bool Open(const std::string& path) {
        file_ = FileStream::Open(path.c_str(), FileOpenMode::Create);
        buffer_.reserve(kFlushAt + (1u << 20));
        return file_ != nullptr;
    }
    uint64_t Position() const { return flushed_ + buffer_.size(); }
    void Put(const void* bytes, size_t count) {
        const auto* p = static_cast<const uint8_t*>(bytes);
        buffer_.insert(buffer_.end(), p, p + count);
        if (buffer_.size() >= kFlushAt) Flush();
    }
    void PutU32(uint32_t v) {
        uint8_t b[4];
        core::PutU32(b, v);
        Put(b, 4);
    }
    void Patch(uint64_t at, uint32_t v) {
        if (at >= flushed_) {
            core::PutU32(buffer_.data() + (at - flushed_), v);
            return;
        }
        uint8_t b[4];
        core::PutU32(b, v);
        if (!Flush() || !file_->Seek(int64_t(at), kSeekBegin) || file_->Write(b, 4) != 4 ||
            !file_->Seek(int64_t(flushed_), kSeekBegin))
            failed_ = true;
    }
    bool Flush() {
        if (!buffer_.empty() && file_->Write(buffer_.data(), buffer_.size()) != buffer_.size()) failed_ = true;
        flushed_ += buffer_.size();
        buffer_.clear();
        return !failed_;
    }
    bool Close() {
        bool ok = Flush();
        file_.reset();
        return ok;
    }
    bool Failed() const { return failed_; }

private:
    static constexpr size_t kFlushAt = 4u << 20;
    std::unique_ptr<FileStream> file_;
    std::vector<uint8_t> buffer_;
    uint64_t flushed_ = 0;
    bool failed_ = false;
};

constexpr size_t kJobBytes = 65536;

struct Job {
    enum Kind { kBegin, kChunk, kEnd };
    Job(Kind k, size_t i) : kind(k), input(i) {}
    Kind kind;
    size_t input;
    uint32_t blockSize = 0;
    std::vector<uint8_t> data;    // one or more whole chunks' bytes
    std::vector<uint8_t> stored;  // the chunks as written, back to back
    std::vector<uint32_t> words;  // their stored-length words
    bool done = false;
    bool failed = false;
};

// Chunk jobs in file order: the calling thread reads inputs into the back and
// writes finished jobs from the front; workers claim jobs in order.
class JobQueue {
public:
    JobQueue(PackMethod method, unsigned workers, size_t maxJobs) : method_(method), maxJobs_(maxJobs) {
        for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
    }
    ~JobQueue() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        workCv_.notify_all();
        for (std::thread& t : threads_) t.join();
    }
    bool Full() {
        std::lock_guard<std::mutex> lock(mutex_);
        return jobs_.size() >= maxJobs_;
    }
    bool Empty() {
        std::lock_guard<std::mutex> lock(mutex_);
        return jobs_.empty();
    }
    void Push(std::unique_ptr<Job> job) {
        bool chunk = job->kind == Job::kChunk;
        if (!chunk) job->done = true;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        if (chunk) workCv_.notify_one();
    }
    // Waits for the oldest job to finish and hands it over.
    std::unique_ptr<Job> PopDone() {
        std::unique_lock<std::mutex> lock(mutex_);
        doneCv_.wait(lock, [this] { return jobs_.empty() || jobs_.front()->done; });
        if (jobs_.empty()) return nullptr;
        std::unique_ptr<Job> job = std::move(jobs_.front());
        jobs_.pop_front();
        if (claimed_ > 0) --claimed_;  // marks need no worker and may go before one passed them
        return job;
    }

private:
    void Work() {
        ChunkEncoder encoder;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            workCv_.wait(lock, [this] { return stop_ || claimed_ < jobs_.size(); });
            if (stop_) return;
            Job* job = jobs_[claimed_++].get();
            if (job->kind != Job::kChunk) continue;
            lock.unlock();
            try {
                for (size_t at = 0; at < job->data.size(); at += job->blockSize) {
                    uint32_t n = uint32_t(std::min<size_t>(job->blockSize, job->data.size() - at));
                    job->words.push_back(encoder.Encode(method_, job->data.data() + at, n, job->stored));
                }
            } catch (...) {
                job->failed = true;
            }
            lock.lock();
            job->done = true;
            doneCv_.notify_all();
        }
    }

    PackMethod method_;
    size_t maxJobs_;
    std::mutex mutex_;
    std::condition_variable workCv_, doneCv_;
    std::deque<std::unique_ptr<Job>> jobs_;
    size_t claimed_ = 0;  // jobs_[0 .. claimed_) are taken or finished
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

// Moves the finished package over the target in one step.
bool MoveIntoPlace(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return !ec;
#endif
}

std::string TemporaryName(const std::string& path) {
    std::random_device rd;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp%08x", unsigned(rd()));
    return path + suffix;
}

class PackageWriter {
public:
    PackageWriter(const std::string& path, const std::vector<PackInput>& inputs, const PackOptions& options)
        : path_(path), inputs_(inputs), options_(options) {}

    bool Run(std::string* error) {
        for (const PackInput& in : inputs_) {
            if (in.name.empty() || in.name.size() > 0xFFFE || in.name.find('\0') != std::string::npos)
                return Fail(error, "'" + in.name + "': not a usable entry name");
            if (!in.file.empty()) {
                std::error_code ec;
                auto size = std::filesystem::file_size(in.file, ec);
                if (ec) return Fail(error, in.file + ": cannot be read");
                progress_.bytesTotal += size;
            } else {
                progress_.bytesTotal += in.bytes.size();
            }
        }
        if (options_.blockSize == 0 || options_.blockSize > kMaxBlockSize)
            return Fail(error, path_ + ": block size must be 1 to " + std::to_string(kMaxBlockSize));
        progress_.filesTotal = inputs_.size();

        temporary_ = TemporaryName(path_);
        if (options_.temporaryName) options_.temporaryName(temporary_);
        if (!out_.Open(temporary_)) return Fail(error, path_ + ": cannot be written");
        bool ok = WriteAll(error);
        ok = out_.Close() && ok;
        if (!ok)
            Fail(error, path_ + ": cannot be written");
        else if (!MoveIntoPlace(temporary_, path_))
            ok = Fail(error, path_ + ": cannot be replaced");
        if (!ok) {
            std::error_code ec;
            std::filesystem::remove(temporary_, ec);
        }
        return ok;
    }

private:
    static bool Fail(std::string* error, std::string message) {
        if (error->empty()) *error = std::move(message);
        return false;
    }

    bool WriteAll(std::string* error) {
        uint8_t header[kPackageHeaderSize] = {};
        std::memcpy(header, kPackageMagic, sizeof kPackageMagic);
        PutU32(header + 8, options_.blockSize);
        header[12] = PackMethodByte(options_.method);
        out_.Put(header, sizeof header);

        unsigned threads = options_.threads ? options_.threads : std::max(1u, std::thread::hardware_concurrency());
        // Enough jobs in flight to keep every worker busy, within about 256 MiB.
        size_t byMemory = (size_t(256) << 20) / (size_t(options_.blockSize) * 5 / 2 + 1);
        size_t maxJobs = std::max<size_t>(threads + 2, std::min<size_t>(threads * 8 + 8, byMemory));
        JobQueue queue(options_.method, threads, maxJobs);

        for (size_t i = 0; i < inputs_.size() && error->empty(); ++i) {
            if (!Feed(queue, i, error)) break;
        }
        // Drain what was queued, also after a failure, so that workers stop cleanly.
        while (std::unique_ptr<Job> job = queue.PopDone())
            if (error->empty()) Write(*job, error);
        return error->empty() && !out_.Failed();
    }

    // Queues the begin mark, the chunks and the end mark of one input,
    // writing finished jobs whenever the queue is full.
    bool Feed(JobQueue& queue, size_t index, std::string* error) {
        const PackInput& in = inputs_[index];
        std::unique_ptr<FileStream> file;
        if (!in.file.empty() && !(file = FileStream::Open(in.file.c_str(), FileOpenMode::Read)))
            return Fail(error, in.file + ": cannot be read");
        auto push = [&](std::unique_ptr<Job> job) {
            while (queue.Full() && error->empty()) Write(*queue.PopDone(), error);
            queue.Push(std::move(job));
        };
        push(std::make_unique<Job>(Job::kBegin, index));
        const uint32_t B = options_.blockSize;
        // Small chunks travel several to a job, so that queueing does not cost more than compressing.
        const size_t span = size_t(B) * std::max<size_t>(1, kJobBytes / B);
        uint64_t offset = 0;
        for (;;) {
            auto job = std::make_unique<Job>(Job::kChunk, index);
            job->blockSize = B;
            if (file) {
                job->data.resize(span);
                job->data.resize(size_t(file->Read(job->data.data(), span)));
            } else {
                size_t n = std::min<size_t>(span, in.bytes.size() - offset);
                job->data.assign(in.bytes.begin() + offset, in.bytes.begin() + offset + n);
            }
            size_t n = job->data.size();
            if (n == 0) break;
            offset += n;
            if (offset > 0xFFFFFFFFu) return Fail(error, (in.file.empty() ? in.name : in.file) + ": larger than 4 GiB");
            push(std::move(job));
            if (!error->empty()) return false;
            if (n < span) break;
        }
        push(std::make_unique<Job>(Job::kEnd, index));
        return error->empty();
    }

    void Write(Job& job, std::string* error) {
        switch (job.kind) {
        case Job::kBegin:
            entryStart_ = out_.Position();
            entrySize_ = 0;
            rows_.clear();
            out_.Put("<CL>", 4);
            out_.PutU32(0);  // L, patched at the end of the entry
            break;
        case Job::kChunk: {
            if (job.failed) {
                Fail(error, path_ + ": out of memory compressing '" + inputs_[job.input].name + "'");
                return;
            }
            uint64_t at = out_.Position();
            if (at + job.stored.size() > 0xFFFFFFFFu) {
                Fail(error, path_ + ": the package would pass 4 GiB");
                return;
            }
            for (uint32_t word : job.words) {
                rows_.push_back({uint32_t(at), word});
                at += word & ~kStoredPlain;
            }
            out_.Put(job.stored.data(), job.stored.size());
            entrySize_ += job.data.size();
            progress_.bytesIn += job.data.size();
            progress_.bytesOut += job.stored.size();
            if (options_.progress) options_.progress(progress_);
            break;
        }
        case Job::kEnd: {
            const std::string& name = inputs_[job.input].name;
            uint32_t stored = uint32_t(out_.Position() - entryStart_ - 8);
            out_.Patch(entryStart_ + 4, stored);
            uint8_t block[kEntryBlockSize] = {};
            std::memcpy(block, "<FH>", 4);
            PutU32(block + 4, uint32_t(entrySize_));
            PutU32(block + 12, stored);
            PutU32(block + 16, uint32_t(rows_.size()));
            block[20] = uint8_t(name.size() + 1);
            block[21] = uint8_t((name.size() + 1) >> 8);
            out_.Put(block, sizeof block);
            out_.Put(name.c_str(), name.size() + 1);
            for (const ChunkRow& row : rows_) {
                out_.PutU32(row.offset);
                out_.PutU32(row.stored);
            }
            if (out_.Position() > 0xFFFFFFFFu) Fail(error, path_ + ": the package would pass 4 GiB");
            ++progress_.files;
            if (options_.progress) options_.progress(progress_);
            break;
        }
        }
        if (out_.Failed()) Fail(error, path_ + ": cannot be written");
    }

    const std::string& path_;
    const std::vector<PackInput>& inputs_;
    const PackOptions& options_;
    std::string temporary_;
    Output out_;
    PackProgress progress_;
    uint64_t entryStart_ = 0;
    uint64_t entrySize_ = 0;
    std::vector<ChunkRow> rows_;
};

}  // namespace

bool WritePackage(const std::string& path, const std::vector<PackInput>& inputs, const PackOptions& options,
                  std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    error->clear();
    return PackageWriter(path, inputs, options).Run(error);
}

}  // namespace core
