#include "scan/DatagramQueries.h"

#include <QScopeGuard>

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/uio.h>
#include <unistd.h>

namespace quarlo {

namespace {

constexpr int HeaderSize = 12;
constexpr int PacketSize = 512; // a larger UDP reply is asked again over TCP, as c-ares does
constexpr int ReceiveBuffer = 1 << 20;

// The status c-ares' ares_query gives a reply with this header.
int statusOf(const unsigned char* reply)
{
    const int rcode = reply[3] & 0x0f;
    const int answers = reply[6] << 8 | reply[7];
    switch (rcode) {
    case 0: return answers > 0 ? ARES_SUCCESS : ARES_ENODATA;
    case 1: return ARES_EFORMERR;
    case 2: return ARES_ESERVFAIL;
    case 3: return ARES_ENOTFOUND;
    case 4: return ARES_ENOTIMP;
    case 5: return ARES_EREFUSED;
    default: return ARES_SUCCESS;
    }
}

unsigned char folded(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// The end of the question section's first entry (name, type, class), or -1.
int questionEnd(const unsigned char* message, int length)
{
    int at = HeaderSize;
    for (;;) {
        if (at >= length) return -1;
        const int label = message[at];
        if (label == 0) break;
        if (label > 63) return -1; // a pointer has nothing before it to point at
        at += 1 + label;
    }
    at += 1 + 4;
    return at <= length ? at : -1;
}

} // namespace

DatagramQueries::DatagramQueries(AresRuntime& runtime, QObject* context, const sockaddr_storage& server,
                                 socklen_t length, Done done, Truncated truncated, std::function<void()> drained)
    : runtime_(runtime), context_(context), server_(server), serverLength_(length), done_(std::move(done)),
      truncated_(std::move(truncated)), drained_(std::move(drained))
{
}

DatagramQueries::~DatagramQueries()
{
    close();
}

int DatagramQueries::BuildQuery(unsigned char* packet, quint16 id, const QByteArray& name, int type)
{
    qToBigEndian<quint16>(id, packet);
    packet[2] = 0x01; // recursion desired
    packet[3] = 0;
    const unsigned char counts[8] = {0, 1, 0, 0, 0, 0, 0, 0};
    std::memcpy(packet + 4, counts, sizeof counts);
    int at = HeaderSize;
    qsizetype size = name.size();
    if (size > 0 && name[size - 1] == '.') --size; // the root's label is written below
    qsizetype begin = 0;
    while (begin < size) {
        qsizetype end = begin;
        while (end < size && name[end] != '.') ++end;
        const qsizetype label = end - begin;
        if (label < 1 || label > 63 || at + 1 + label > HeaderSize + 254) return 0;
        packet[at++] = static_cast<unsigned char>(label);
        std::memcpy(packet + at, name.constData() + begin, size_t(label));
        at += int(label);
        begin = end + 1;
        if (end == size - 1 && name[end] == '.') return 0; // an empty last label
    }
    if (at == HeaderSize) return 0; // nothing to ask
    packet[at++] = 0;
    qToBigEndian<quint16>(quint16(type), packet + at);
    qToBigEndian<quint16>(1 /* IN */, packet + at + 2);
    return at + 4;
}

bool DatagramQueries::SameQuestion(const unsigned char* query, int queryLength, const unsigned char* reply,
                                   int replyLength)
{
    if (replyLength < HeaderSize || reply[4] != 0 || reply[5] != 1) return false; // one question, as asked
    const int end = questionEnd(reply, replyLength);
    if (end < 0 || end != queryLength) return false;
    // The name without regard to case, type and class as they are.
    for (int i = HeaderSize; i < end - 4; ++i)
        if (folded(query[i]) != folded(reply[i])) return false;
    return std::memcmp(query + end - 4, reply + end - 4, 4) == 0;
}

bool DatagramQueries::open()
{
    if (fd_ != ARES_SOCKET_BAD) return true;
    const int family = server_.ss_family;
    if (const ares_socket_functions* functions = runtime_.socketFunctions()) {
        fd_ = functions->asocket(family, SOCK_DGRAM, 0, &runtime_);
        if (fd_ != ARES_SOCKET_BAD
            && functions->aconnect(fd_, reinterpret_cast<const sockaddr*>(&server_), serverLength_, &runtime_) != 0) {
            functions->aclose(fd_, &runtime_);
            fd_ = ARES_SOCKET_BAD;
        }
    } else {
        fd_ = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ != ARES_SOCKET_BAD) {
            // Hundreds of answers can arrive between two turns of the event
            // loop; the default buffer would drop some and cost retries.
            const int size = ReceiveBuffer;
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
            if (::connect(fd_, reinterpret_cast<const sockaddr*>(&server_), serverLength_) != 0) {
                ::close(fd_);
                fd_ = ARES_SOCKET_BAD;
            }
        }
    }
    if (fd_ == ARES_SOCKET_BAD) return false;
    watch_ = runtime_.watch(
        fd_, context_,
        [this] {
            // Reading may close the socket and with it this watch, whose
            // copy of this is then gone.
            DatagramQueries* const self = this;
            self->readAll();
            self->drained_();
        },
        [] {});
    watch_->setEnabled(true, false);
    return true;
}

void DatagramQueries::close()
{
    watch_.reset();
    if (fd_ == ARES_SOCKET_BAD) return;
    if (const ares_socket_functions* functions = runtime_.socketFunctions())
        functions->aclose(fd_, &runtime_);
    else
        ::close(fd_);
    fd_ = ARES_SOCKET_BAD;
}

quint16 DatagramQueries::randomId()
{
    // From the kernel's generator, fetched a few thousand at a time: one
    // system call per query would cost more than the query.
    if (randomUsed_ >= randomFill_) {
        const ssize_t got = ::getrandom(random_, sizeof random_, 0);
        if (got < ssize_t(sizeof(quint16))) {
            arc4random_buf(random_, sizeof random_);
            randomFill_ = sizeof random_;
        } else {
            randomFill_ = size_t(got);
        }
        randomUsed_ = 0;
    }
    quint16 id;
    std::memcpy(&id, random_ + randomUsed_, sizeof id);
    randomUsed_ += sizeof id;
    return id;
}

quint16 DatagramQueries::freshId()
{
    // Random, and never one a held try answers to: a late reply to one try
    // must not end another.
    for (;;) {
        const quint16 id = randomId();
        if (!inUse(id)) return id;
    }
}

bool DatagramQueries::send(void* tag, const QByteArray& name, int type, qint64 nowNs, qint64 lingerNs)
{
    if (count_ >= 65536 / 2 || !open()) return false; // ids running out: c-ares takes the rest
    if (held_.empty()) held_.resize(65536);
    std::unique_ptr<Held> held;
    if (spare_.empty()) {
        held = std::make_unique<Held>();
    } else {
        held = std::move(spare_.back());
        spare_.pop_back();
    }
    const quint16 id = freshId();
    held->length = BuildQuery(held->query, id, name, type);
    if (held->length == 0) {
        spare_.push_back(std::move(held));
        return false; // c-ares tells what is wrong with the name
    }
    held->tag = tag;
    held->expiresNs = nowNs + lingerNs;
    held->sent = false;
    held_[id] = std::move(held);
    inUse_[id >> 6] |= quint64(1) << (id & 63);
    if (count_++ == 0) earliestNs_ = nowNs + lingerNs;
    queued_.push_back(id);
    return true;
}

int DatagramQueries::flush()
{
    // Callbacks of refused sends may take new tries: those wait for the
    // next flush rather than change this batch.
    std::vector<quint16> batch;
    batch.swap(queued_);
    // The next turn's tries go into this one's room, emptied.
    const auto reuse = qScopeGuard([this, &batch] {
        if (!queued_.empty()) return;
        batch.clear();
        queued_.swap(batch);
    });
    int failed = 0;
    const ares_socket_functions* functions = runtime_.socketFunctions();
    constexpr int Most = 64;
    size_t next = 0;
    while (next < batch.size()) {
        mmsghdr messages[Most];
        iovec parts[Most];
        quint16 ids[Most];
        int count = 0;
        for (; next < batch.size() && count < Most; ++next) {
            Held* held = held_.empty() ? nullptr : held_[batch[next]].get();
            if (!held || held->sent) continue;
            parts[count] = iovec{held->query, size_t(held->length)};
            messages[count] = mmsghdr{};
            messages[count].msg_hdr.msg_iov = &parts[count];
            messages[count].msg_hdr.msg_iovlen = 1;
            ids[count] = batch[next];
            ++count;
        }
        int done = 0;
        while (done < count) {
            int sent = -1;
            if (fd_ != ARES_SOCKET_BAD) {
                if (functions)
                    sent = functions->asendv(fd_, &parts[done], 1, &runtime_) == ssize_t(parts[done].iov_len) ? 1 : -1;
                else
                    sent = ::sendmmsg(fd_, &messages[done], unsigned(count - done), MSG_NOSIGNAL);
            }
            if (sent > 0) {
                for (int i = done; i < done + sent; ++i)
                    if (held_[ids[i]]) held_[ids[i]]->sent = true;
                done += sent;
                continue;
            }
            // c-ares gives up on the server for this try the same way.
            fail(ids[done], ARES_ECONNREFUSED);
            ++failed;
            ++done;
        }
    }
    return failed;
}

template <typename Each>
void DatagramQueries::forEachHeld(Each each)
{
    // Each word is read before its IDs are visited, and each(id) may end
    // other tries: every ID is looked at again before it is passed on.
    for (size_t word = 0; word < inUse_.size(); ++word)
        for (quint64 bits = inUse_[word]; bits != 0; bits &= bits - 1)
            if (const auto id = quint16(word * 64 + size_t(std::countr_zero(bits))); inUse(id)) each(id);
}

void DatagramQueries::fail(quint16 id, int status)
{
    if (void* const tag = release(id)) done_(tag, status, nullptr, 0);
}

void* DatagramQueries::release(quint16 id)
{
    if (!inUse(id)) return nullptr;
    inUse_[id >> 6] &= ~(quint64(1) << (id & 63));
    --count_;
    void* const tag = held_[id]->tag;
    spare_.push_back(std::move(held_[id]));
    return tag;
}

void DatagramQueries::readAll()
{
    // Many replies per system call: between two turns of the event loop
    // hundreds may be waiting.
    constexpr int Most = 32;
    unsigned char replies[Most][PacketSize + 1];
    mmsghdr messages[Most];
    iovec parts[Most];
    for (;;) {
        if (fd_ == ARES_SOCKET_BAD) return;
        int count;
        if (const ares_socket_functions* functions = runtime_.socketFunctions()) {
            const ssize_t length =
                functions->arecvfrom(fd_, replies[0], sizeof replies[0], 0, nullptr, nullptr, &runtime_);
            count = length < 0 ? -1 : 1;
            messages[0].msg_len = unsigned(std::max<ssize_t>(length, 0));
        } else {
            for (int i = 0; i < Most; ++i) {
                parts[i] = iovec{replies[i], sizeof replies[i]};
                messages[i] = mmsghdr{};
                messages[i].msg_hdr.msg_iov = &parts[i];
                messages[i].msg_hdr.msg_iovlen = 1;
            }
            count = ::recvmmsg(fd_, messages, Most, MSG_DONTWAIT, nullptr);
        }
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
            // The server's port is closed (or the path is gone): every try
            // held ends as c-ares ends them, and the next opens a new socket.
            close();
            forEachHeld([this](quint16 id) { fail(id, ARES_ECONNREFUSED); });
            return;
        }
        for (int i = 0; i < count; ++i) received(replies[i], int(messages[i].msg_len));
        // Fewer than asked for: the socket is empty, and a read now would
        // only say so.
        if (count < Most && !runtime_.socketFunctions()) return;
    }
}

void DatagramQueries::received(const unsigned char* reply, int length)
{
    if (length < HeaderSize) return; // no reply at all
    const quint16 id = qFromBigEndian<quint16>(reply);
    if (!inUse(id) || !held_[id]->sent) return; // for no try out
    const Held& held = *held_[id];
    if (!SameQuestion(held.query, held.length, reply, length)) return; // keeps listening
    void* const tag = release(id);
    if ((reply[2] & 0x02) != 0 || length > PacketSize) {
        truncated_(tag);
        return;
    }
    done_(tag, statusOf(reply), reply, length);
}

qint64 DatagramQueries::nextExpiryNs() const
{
    return count_ > 0 ? earliestNs_ : -1;
}

void DatagramQueries::expire(qint64 nowNs)
{
    if (count_ == 0 || nowNs < earliestNs_) return;
    qint64 earliest = -1;
    forEachHeld([&](quint16 id) {
        const qint64 expiresNs = held_[id]->expiresNs;
        if (expiresNs > nowNs)
            earliest = earliest < 0 ? expiresNs : std::min(earliest, expiresNs);
        else
            fail(id, ARES_ETIMEOUT);
    });
    earliestNs_ = std::max(earliest, nowNs + ExpiryStepNs);
}

void DatagramQueries::dropAll(const std::function<void(void* tag)>& dropped)
{
    queued_.clear();
    forEachHeld([&](quint16 id) {
        if (void* const tag = release(id)) dropped(tag);
    });
}

} // namespace quarlo
