/*
 * UDP delay proxy for DNS benchmarks: every datagram from a client is held
 * DELAY ms, forwarded to one of several upstream servers, and every answer is
 * held DELAY ms again on its way back. Datagrams are never dropped, merged or
 * reordered by the proxy within a direction.
 *
 * It also keeps the books the benchmark needs to show that neither the
 * servers nor the proxy are what is measured:
 *   - client retransmissions (same source, id and question seen again),
 *     split by whether the first copy was still in flight, was answered, or
 *     was never answered by a server; questions asked again under a new id;
 *     ids a client reused while another query of it still held them;
 *   - queries a server never answered (dropped at its receive buffer);
 *   - how late each datagram left compared with its due time;
 *   - the client's queries in flight, as a timeline.
 * Upstream servers get at most --per-server queries outstanding each (extra
 * queries wait, and the wait shows as lateness), so a burst from the client
 * cannot overflow a server's small receive buffer.
 *
 * For harder paths it can also lose datagrams at random (--loss, each way,
 * reproducible with --seed) and play a zone whose servers never answer
 * (--dead-zone: queries for names under it are swallowed). Lost and
 * swallowed queries are not counted in flight.
 *
 * Build: cc -O2 -o udp_delay_proxy udp_delay_proxy.c
 * Usage: udp_delay_proxy --listen 127.0.0.1:53 --upstream 127.0.0.1:5301[,...]
 *            [--delay-ms 20] [--per-server 64] [--stats FILE] [--max-seconds 900]
 *            [--loss 0.01] [--seed 1] [--dead-zone ZONE]
 * Stops on SIGTERM/SIGINT or after --max-seconds, writing the stats (JSON).
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#define MAX_UPSTREAMS 16
#define MAX_SLOTS 256
#define MAX_DGRAM 4096
#define BUCKET_S 0.1
#define MAX_BUCKETS 20000
#define LOST_AFTER_S 1.0
#define SLOT_IDLE_S 5.0

enum { ST_QUEUED = 1, ST_SENT, ST_ANSWERED, ST_DELIVERED, ST_LOST, ST_DROPPED };

/* One query as the client sent it: client (slot generation), DNS id and
 * question. Retransmissions reuse their entry; a new question under an id
 * still in use gets an entry of its own. */
typedef struct {
    uint64_t qhash;
    uint32_t slot_gen;
    uint16_t id;
    uint8_t state;
    int8_t server;
    int slot;
    uint32_t gen; /* bumped per datagram: stale copies in the queues are skipped */
    double t_sent;
} entry_t;

typedef struct {
    int used;
    uint32_t gen;
    struct sockaddr_in client;
    int fd;
    double last_used;
    int inflight;
    uint32_t *by_id; /* DNS id -> latest entry index + 1 */
} slot_t;

typedef struct {
    double due;
    uint32_t entry, gen;
    int slot;
    int len;
    unsigned char *data;
} pkt_t;

typedef struct {
    pkt_t *items;
    size_t cap, head, count;
} fifo_t;

typedef struct {
    double t;
    uint32_t entry, gen;
} sent_t;

static volatile sig_atomic_t stop_flag;
static void on_signal(int sig) { (void)sig; stop_flag = 1; }

static double now_s(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

static void die(const char *what)
{
    perror(what);
    exit(2);
}

static void fifo_push(fifo_t *f, pkt_t p)
{
    if (f->count == f->cap) {
        size_t ncap = f->cap ? f->cap * 2 : 1024;
        pkt_t *n = malloc(ncap * sizeof *n);
        if (!n) die("malloc");
        for (size_t i = 0; i < f->count; i++) n[i] = f->items[(f->head + i) % f->cap];
        free(f->items);
        f->items = n;
        f->cap = ncap;
        f->head = 0;
    }
    f->items[(f->head + f->count) % f->cap] = p;
    f->count++;
}

static pkt_t *fifo_front(fifo_t *f) { return f->count ? &f->items[f->head] : NULL; }
static void fifo_pop(fifo_t *f)
{
    f->head = (f->head + 1) % f->cap;
    f->count--;
}

static int parse_addr(const char *text, struct sockaddr_in *out)
{
    char host[64];
    const char *colon = strrchr(text, ':');
    if (!colon || (size_t)(colon - text) >= sizeof host) return -1;
    memcpy(host, text, (size_t)(colon - text));
    host[colon - text] = 0;
    memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons((uint16_t)atoi(colon + 1));
    return inet_pton(AF_INET, host, &out->sin_addr) == 1 ? 0 : -1;
}

static void big_buffers(int fd)
{
    int size = 8 << 20;
    /* FORCE works for root past rmem_max; fall back to the plain option. */
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) < 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) < 0)
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

static int buffer_size(int fd, int opt)
{
    int v = 0;
    socklen_t l = sizeof v;
    getsockopt(fd, SOL_SOCKET, opt, &v, &l);
    return v;
}

/* FNV-1a over the question section, which answers repeat. */
static uint64_t question_hash(const unsigned char *d, int len)
{
    int qd = d[4] << 8 | d[5], p = 12;
    for (int q = 0; q < qd && p < len; q++) {
        while (p < len) {
            int l = d[p];
            if (l == 0) {
                p++;
                break;
            }
            if ((l & 0xC0) == 0xC0) {
                p += 2;
                break;
            }
            p += 1 + l;
        }
        p += 4;
    }
    if (p > len) p = len;
    uint64_t h = 1469598103934665603ULL;
    for (int i = 12; i < p; i++) h = (h ^ d[i]) * 1099511628211ULL;
    return h | 1; /* 0 means "empty" in the tables */
}

/* Set of question hashes seen in this run (to count repeated questions). */
static uint64_t *qset;
static size_t qset_cap, qset_count;
static int qset_add(uint64_t h)
{
    if (qset_count * 2 >= qset_cap) {
        size_t ncap = qset_cap ? qset_cap * 2 : 1 << 16;
        uint64_t *n = calloc(ncap, sizeof *n);
        if (!n) die("calloc");
        for (size_t i = 0; i < qset_cap; i++) {
            if (!qset[i]) continue;
            size_t j = qset[i] & (ncap - 1);
            while (n[j]) j = (j + 1) & (ncap - 1);
            n[j] = qset[i];
        }
        free(qset);
        qset = n;
        qset_cap = ncap;
    }
    size_t j = h & (qset_cap - 1);
    while (qset[j]) {
        if (qset[j] == h) return 0;
        j = (j + 1) & (qset_cap - 1);
    }
    qset[j] = h;
    qset_count++;
    return 1;
}

/* Entries live in a growing array (stable indices); a hash index finds them
 * by (slot generation, id, question). */
static entry_t *entries;
static size_t n_entries, entries_cap;
static uint32_t *eindex; /* entry index + 1, 0 empty */
static size_t eindex_cap;

static size_t ekey(uint32_t slot_gen, uint16_t id, uint64_t qhash)
{
    uint64_t k = qhash ^ ((uint64_t)slot_gen << 16 | id) * 0x9E3779B97F4A7C15ULL;
    return (size_t)(k ^ (k >> 29));
}

static void eindex_put(uint32_t idx)
{
    const entry_t *e = &entries[idx];
    size_t j = ekey(e->slot_gen, e->id, e->qhash) & (eindex_cap - 1);
    while (eindex[j]) j = (j + 1) & (eindex_cap - 1);
    eindex[j] = idx + 1;
}

static entry_t *entry_find(uint32_t slot_gen, uint16_t id, uint64_t qhash, uint32_t *idx_out)
{
    if (!eindex_cap) return NULL;
    size_t j = ekey(slot_gen, id, qhash) & (eindex_cap - 1);
    while (eindex[j]) {
        entry_t *e = &entries[eindex[j] - 1];
        if (e->slot_gen == slot_gen && e->id == id && e->qhash == qhash) {
            if (idx_out) *idx_out = eindex[j] - 1;
            return e;
        }
        j = (j + 1) & (eindex_cap - 1);
    }
    return NULL;
}

static uint32_t entry_add(entry_t e)
{
    if (n_entries == entries_cap) {
        entries_cap = entries_cap ? entries_cap * 2 : 1 << 14;
        entries = realloc(entries, entries_cap * sizeof *entries);
        if (!entries) die("realloc");
    }
    if ((n_entries + 1) * 2 > eindex_cap) {
        eindex_cap = eindex_cap ? eindex_cap * 2 : 1 << 15;
        free(eindex);
        eindex = calloc(eindex_cap, sizeof *eindex);
        if (!eindex) die("calloc");
        for (size_t i = 0; i < n_entries; i++) eindex_put((uint32_t)i);
    }
    entries[n_entries] = e;
    eindex_put((uint32_t)n_entries);
    return (uint32_t)n_entries++;
}

static int in_flight_state(int st) { return st == ST_QUEUED || st == ST_SENT || st == ST_ANSWERED || st == ST_LOST; }

/* xorshift64*: reproducible losses without libc's rand state. */
static uint64_t rng_state = 0x9E3779B97F4A7C15ULL;
static double rng_uniform(void)
{
    rng_state ^= rng_state >> 12;
    rng_state ^= rng_state << 25;
    rng_state ^= rng_state >> 27;
    return (double)((rng_state * 2685821657736338717ULL) >> 11) / 9007199254740992.0;
}

/* True when the first question's name is zone or lies under it (ASCII case
 * folded). */
static int under_zone(const unsigned char *d, int len, const char *zone)
{
    char name[256];
    int p = 12, n = 0;
    if (len < 12 || (d[4] << 8 | d[5]) < 1) return 0;
    while (p < len && d[p]) {
        int l = d[p];
        if ((l & 0xC0) || p + 1 + l > len || n + l + 1 >= (int)sizeof name) return 0;
        if (n) name[n++] = '.';
        for (int i = 0; i < l; i++) {
            char c = (char)d[p + 1 + i];
            name[n++] = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
        }
        p += 1 + l;
    }
    name[n] = 0;
    size_t zl = strlen(zone);
    if ((size_t)n < zl || strcasecmp(name + n - zl, zone)) return 0;
    return (size_t)n == zl || name[n - zl - 1] == '.';
}

typedef struct {
    double sum, max;
    long n, over1ms;
} late_t;

static void late_add(late_t *l, double v)
{
    if (v < 0) v = 0;
    l->sum += v;
    l->n++;
    if (v > l->max) l->max = v;
    if (v > 0.001) l->over1ms++;
}

typedef struct {
    const char *listen_text, *upstream_text, *stats_path, *dead_zone;
    double delay, max_seconds, loss;
    int per_server;
} options_t;

/* Everything one run of the proxy holds: the sockets, the queues and the
 * books written out at the end. */
typedef struct {
    options_t opt;
    struct sockaddr_in listen_addr, upstreams[MAX_UPSTREAMS];
    int n_up;
    int lfd;
    slot_t slots[MAX_SLOTS];
    uint32_t slot_gens;
    fifo_t up, down;
    sent_t *sent;
    size_t sent_cap, sent_head, sent_count;
    int outstanding[MAX_UPSTREAMS], max_outstanding[MAX_UPSTREAMS];
    long forwarded_to[MAX_UPSTREAMS];
    int rr;
    uint32_t gen_counter;

    long queries, new_queries, forwarded, responses, delivered;
    long retry_pending, retry_answered, retry_lost, repeated_questions, id_reuse;
    long server_unanswered, late_responses, dup_responses, stray_responses;
    long truncated, oversize, slots_full, send_errors;
    long dropped_up, dropped_down, dead_zone_queries;
    int inflight, max_inflight, max_slots_used;
    late_t late_up, late_down;
    double t_start, t_first, t_last_query, t_last_delivery;
    double bucket_max[MAX_BUCKETS], bucket_area[MAX_BUCKETS];
    int n_buckets;
    double area_since;
    unsigned char buf[MAX_DGRAM];
} proxy_t;

/* Returns 0, or the exit status after saying what is wrong. */
static int parse_options(int argc, char **argv, options_t *o)
{
    *o = (options_t){.delay = 0.020, .max_seconds = 900, .loss = 0, .per_server = 64};
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : NULL;
        if (!v) {
            fprintf(stderr, "%s wants a value\n", a);
            return 2;
        }
        if (!strcmp(a, "--listen")) o->listen_text = v;
        else if (!strcmp(a, "--upstream")) o->upstream_text = v;
        else if (!strcmp(a, "--delay-ms")) o->delay = atof(v) / 1000.0;
        else if (!strcmp(a, "--per-server")) o->per_server = atoi(v);
        else if (!strcmp(a, "--stats")) o->stats_path = v;
        else if (!strcmp(a, "--max-seconds")) o->max_seconds = atof(v);
        else if (!strcmp(a, "--loss")) o->loss = atof(v);
        else if (!strcmp(a, "--seed")) rng_state ^= strtoull(v, NULL, 10) * 0xD1B54A32D192ED03ULL;
        else if (!strcmp(a, "--dead-zone")) o->dead_zone = v;
        else {
            fprintf(stderr, "unknown option %s\n", a);
            return 2;
        }
        i++;
    }
    if (!o->listen_text || !o->upstream_text || o->per_server < 1 || o->loss < 0 || o->loss >= 1) {
        fprintf(stderr, "usage: %s --listen ADDR:PORT --upstream ADDR:PORT[,...] [--delay-ms MS] "
                        "[--per-server N] [--stats FILE] [--max-seconds S] [--loss P] [--seed N] "
                        "[--dead-zone ZONE]\n", argv[0]);
        return 2;
    }
    return 0;
}

/* The listen address and the comma-separated upstreams; 0, or the exit
 * status after saying which one is bad. */
static int parse_addresses(proxy_t *px)
{
    if (parse_addr(px->opt.listen_text, &px->listen_addr) < 0) {
        fprintf(stderr, "bad --listen %s\n", px->opt.listen_text);
        return 2;
    }
    char *copy = strdup(px->opt.upstream_text), *save = NULL;
    for (char *tok = strtok_r(copy, ",", &save); tok; tok = strtok_r(NULL, ",", &save)) {
        if (px->n_up == MAX_UPSTREAMS || parse_addr(tok, &px->upstreams[px->n_up]) < 0) {
            fprintf(stderr, "bad --upstream entry %s\n", tok);
            return 2;
        }
        px->n_up++;
    }
    free(copy);
    return 0;
}

static void open_listener(proxy_t *px)
{
    px->lfd = socket(AF_INET, SOCK_DGRAM, 0);
    if (px->lfd < 0) die("socket");
    int one = 1;
    setsockopt(px->lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    big_buffers(px->lfd);
    if (bind(px->lfd, (struct sockaddr *)&px->listen_addr, sizeof px->listen_addr) < 0) die("bind");
}

/* Attribute the in-flight level since the last change to the buckets it
 * spans (at long delays nothing may change for several buckets). */
static void track(proxy_t *px, double now)
{
    if (px->t_first < 0) return;
    double t = px->area_since;
    do {
        int b = (int)((t - px->t_first) / BUCKET_S);
        if (px->t_first + (b + 1) * BUCKET_S <= t) b++; /* rounding at an edge */
        if (b >= MAX_BUCKETS) b = MAX_BUCKETS - 1;
        double end = px->t_first + (b + 1) * BUCKET_S;
        if (end > now || b == MAX_BUCKETS - 1) end = now;
        if (b + 1 > px->n_buckets) px->n_buckets = b + 1;
        px->bucket_area[b] += px->inflight * (end - t);
        if (px->inflight > px->bucket_max[b]) px->bucket_max[b] = px->inflight;
        t = end;
    } while (t < now);
    px->area_since = now;
}

static void inflight_change(proxy_t *px, double now, int slot, int delta)
{
    track(px, now);
    px->inflight += delta;
    px->slots[slot].inflight += delta;
    if (px->inflight > px->max_inflight) px->max_inflight = px->inflight;
}

/* Remembers when a query went to its server, to find the ones never answered. */
static void sent_push(proxy_t *px, double now, uint32_t entry, uint32_t gen)
{
    if (px->sent_count == px->sent_cap) {
        size_t ncap = px->sent_cap ? px->sent_cap * 2 : 1024;
        sent_t *n = malloc(ncap * sizeof *n);
        if (!n) die("malloc");
        for (size_t i = 0; i < px->sent_count; i++) n[i] = px->sent[(px->sent_head + i) % px->sent_cap];
        free(px->sent);
        px->sent = n;
        px->sent_cap = ncap;
        px->sent_head = 0;
    }
    px->sent[(px->sent_head + px->sent_count) % px->sent_cap] = (sent_t){now, entry, gen};
    px->sent_count++;
}

/* The next server round-robin with room for a query, or -1. */
static int pick_server(proxy_t *px)
{
    for (int k = 0; k < px->n_up; k++) {
        int c = (px->rr + k) % px->n_up;
        if (px->outstanding[c] < px->opt.per_server) return c;
    }
    return -1;
}

/* Queries whose delay is over go to a server; stale copies are dropped. */
static void release_upstream(proxy_t *px, double now)
{
    for (pkt_t *p; (p = fifo_front(&px->up)) && p->due <= now;) {
        entry_t *e = &entries[p->entry];
        slot_t *sl = &px->slots[p->slot];
        if (e->gen == p->gen && sl->used && sl->gen == e->slot_gen) {
            int s = pick_server(px);
            if (s < 0) break; /* every server busy: wait for answers */
            px->rr = (s + 1) % px->n_up;
            if (sendto(sl->fd, p->data, (size_t)p->len, 0, (struct sockaddr *)&px->upstreams[s],
                       sizeof px->upstreams[s]) < 0)
                px->send_errors++;
            late_add(&px->late_up, now - p->due);
            e->state = ST_SENT;
            e->server = (int8_t)s;
            e->t_sent = now;
            px->outstanding[s]++;
            if (px->outstanding[s] > px->max_outstanding[s]) px->max_outstanding[s] = px->outstanding[s];
            px->forwarded++;
            px->forwarded_to[s]++;
            sent_push(px, now, p->entry, p->gen);
        }
        free(p->data);
        fifo_pop(&px->up);
    }
}

/* Answers whose delay is over go to their client, unless lost on the way. */
static void release_downstream(proxy_t *px, double now)
{
    for (pkt_t *p; (p = fifo_front(&px->down)) && p->due <= now;) {
        slot_t *sl = &px->slots[p->slot];
        entry_t *e = p->entry != UINT32_MAX ? &entries[p->entry] : NULL;
        if (sl->used && (!e || sl->gen == e->slot_gen) && px->opt.loss > 0 && rng_uniform() < px->opt.loss) {
            px->dropped_down++;
            if (e && e->state == ST_ANSWERED) {
                e->state = ST_DROPPED;
                inflight_change(px, now, p->slot, -1);
            }
        } else if (sl->used && (!e || sl->gen == e->slot_gen)) {
            if (sendto(px->lfd, p->data, (size_t)p->len, 0, (struct sockaddr *)&sl->client, sizeof sl->client) < 0)
                px->send_errors++;
            late_add(&px->late_down, now - p->due);
            if (e && e->state == ST_ANSWERED) {
                e->state = ST_DELIVERED;
                inflight_change(px, now, p->slot, -1);
            }
            px->delivered++;
            px->t_last_delivery = now;
        }
        free(p->data);
        fifo_pop(&px->down);
    }
}

/* Queries a server did not answer within a second were dropped. */
static void expire_unanswered(proxy_t *px, double now)
{
    while (px->sent_count) {
        sent_t *r = &px->sent[px->sent_head];
        entry_t *e = &entries[r->entry];
        int waiting = e->gen == r->gen && e->state == ST_SENT;
        if (waiting && now - r->t < LOST_AFTER_S) break;
        if (waiting) {
            e->state = ST_LOST;
            px->outstanding[e->server]--;
            px->server_unanswered++;
        }
        px->sent_head = (px->sent_head + 1) % px->sent_cap;
        px->sent_count--;
    }
}

/* Until the next due datagram or the next loss check. */
static double next_wait(proxy_t *px, double now)
{
    double next = now + 0.1;
    pkt_t *hu = fifo_front(&px->up), *hd = fifo_front(&px->down);
    if (hu && hu->due < next) next = hu->due;
    if (hd && hd->due < next) next = hd->due;
    if (px->sent_count && px->sent[px->sent_head].t + LOST_AFTER_S < next)
        next = px->sent[px->sent_head].t + LOST_AFTER_S;
    double wait = next - now;
    return wait < 0 ? 0 : wait;
}

/* The slot of a client's address, a new one when it has none (recycling one
 * whose client went quiet with nothing in flight), or -1 when all are taken. */
static int client_slot(proxy_t *px, const struct sockaddr_in *from, double now)
{
    int free_slot = -1;
    for (int i = 0; i < MAX_SLOTS; i++) {
        if (px->slots[i].used && px->slots[i].client.sin_port == from->sin_port &&
            px->slots[i].client.sin_addr.s_addr == from->sin_addr.s_addr)
            return i;
        if (!px->slots[i].used && free_slot < 0) free_slot = i;
    }
    for (int i = 0; free_slot < 0 && i < MAX_SLOTS; i++) {
        if (now - px->slots[i].last_used > SLOT_IDLE_S && px->slots[i].inflight == 0) {
            close(px->slots[i].fd);
            free(px->slots[i].by_id);
            px->slots[i].used = 0;
            free_slot = i;
        }
    }
    if (free_slot < 0) {
        px->slots_full++;
        return -1;
    }
    slot_t *sl = &px->slots[free_slot];
    sl->fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (sl->fd < 0) die("socket");
    big_buffers(sl->fd);
    struct sockaddr_in any = {.sin_family = AF_INET};
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(sl->fd, (struct sockaddr *)&any, sizeof any) < 0) die("bind upstream");
    sl->by_id = calloc(65536, sizeof *sl->by_id);
    if (!sl->by_id) die("calloc");
    sl->client = *from;
    sl->gen = ++px->slot_gens;
    sl->inflight = 0;
    sl->used = 1;
    return free_slot;
}

/* The query's entry: a retransmission finds its own (and is counted by what
 * became of the first copy), a new query gets one and is in flight. */
static uint32_t query_entry(proxy_t *px, int s, int len, double now)
{
    slot_t *sl = &px->slots[s];
    uint16_t id = (uint16_t)(px->buf[0] << 8 | px->buf[1]);
    uint64_t qh = question_hash(px->buf, len);
    uint32_t idx;
    entry_t *e = entry_find(sl->gen, id, qh, &idx);
    if (e) {
        if (e->state == ST_QUEUED || e->state == ST_SENT || e->state == ST_ANSWERED) {
            px->retry_pending++;
            if (e->state == ST_SENT) px->outstanding[e->server]--;
        } else if (e->state == ST_DELIVERED || e->state == ST_DROPPED) {
            if (e->state == ST_DELIVERED) px->retry_answered++;
            else px->retry_lost++;
            inflight_change(px, now, s, +1); /* in flight again */
        } else {
            px->retry_lost++; /* never answered: still counted in flight */
        }
        return idx;
    }
    px->new_queries++;
    if (!qset_add(qh)) px->repeated_questions++;
    uint32_t prev = sl->by_id[id];
    if (prev && in_flight_state(entries[prev - 1].state)) px->id_reuse++;
    idx = entry_add((entry_t){.qhash = qh, .slot_gen = sl->gen, .id = id, .slot = s});
    sl->by_id[id] = idx + 1;
    inflight_change(px, now, s, +1);
    return idx;
}

/* Client queries: each is held for the delay, unless lost or swallowed. */
static void read_queries(proxy_t *px, double now)
{
    for (;;) {
        struct sockaddr_in from;
        socklen_t fl = sizeof from;
        ssize_t n = recvfrom(px->lfd, px->buf, sizeof px->buf, MSG_TRUNC, (struct sockaddr *)&from, &fl);
        if (n < 0) break;
        if (n > (ssize_t)sizeof px->buf) {
            px->oversize++;
            continue;
        }
        if (n < 12) continue;
        px->queries++;
        if (px->t_first < 0) {
            px->t_first = now;
            px->area_since = now;
        }
        px->t_last_query = now;
        int s = client_slot(px, &from, now);
        if (s < 0) continue;
        px->slots[s].last_used = now;
        uint32_t idx = query_entry(px, s, (int)n, now);
        entry_t *e = &entries[idx];
        e->gen = ++px->gen_counter;
        const char *dead_zone = px->opt.dead_zone;
        if ((dead_zone && under_zone(px->buf, (int)n, dead_zone)) ||
            (px->opt.loss > 0 && rng_uniform() < px->opt.loss)) {
            if (dead_zone && under_zone(px->buf, (int)n, dead_zone)) px->dead_zone_queries++;
            else px->dropped_up++;
            e->state = ST_DROPPED;
            inflight_change(px, now, s, -1);
            continue;
        }
        e->state = ST_QUEUED;
        pkt_t p = {now + px->opt.delay, idx, e->gen, s, (int)n, malloc((size_t)n)};
        if (!p.data) die("malloc");
        memcpy(p.data, px->buf, (size_t)n);
        fifo_push(&px->up, p);
    }
}

/* Server answers for one client, each held for the delay on its way back. */
static void read_answers(proxy_t *px, int s, double now)
{
    slot_t *sl = &px->slots[s];
    for (;;) {
        ssize_t n = recv(sl->fd, px->buf, sizeof px->buf, MSG_TRUNC);
        if (n < 0) break;
        if (n > (ssize_t)sizeof px->buf) {
            px->oversize++;
            continue;
        }
        if (n < 12) continue;
        px->responses++;
        if (px->buf[2] & 0x02) px->truncated++;
        uint16_t id = (uint16_t)(px->buf[0] << 8 | px->buf[1]);
        uint32_t idx = UINT32_MAX;
        entry_t *e = entry_find(sl->gen, id, question_hash(px->buf, (int)n), &idx);
        if (!e) {
            px->stray_responses++;
        } else if (e->state == ST_SENT) {
            e->state = ST_ANSWERED;
            px->outstanding[e->server]--;
        } else if (e->state == ST_LOST) {
            px->late_responses++;
            e->state = ST_ANSWERED;
        } else {
            px->dup_responses++;
        }
        pkt_t p = {now + px->opt.delay, idx, 0, s, (int)n, malloc((size_t)n)};
        if (!p.data) die("malloc");
        memcpy(p.data, px->buf, (size_t)n);
        fifo_push(&px->down, p);
    }
}

/* Waits for datagrams from the client or the servers, at most `wait`
 * seconds, and reads what came. */
static void wait_and_read(proxy_t *px, double wait)
{
    struct pollfd pfds[MAX_SLOTS + 1];
    int map[MAX_SLOTS + 1], n_pfd = 0;
    pfds[n_pfd] = (struct pollfd){.fd = px->lfd, .events = POLLIN};
    map[n_pfd++] = -1;
    for (int i = 0; i < MAX_SLOTS; i++) {
        if (!px->slots[i].used) continue;
        pfds[n_pfd] = (struct pollfd){.fd = px->slots[i].fd, .events = POLLIN};
        map[n_pfd++] = i;
    }
    if (n_pfd - 1 > px->max_slots_used) px->max_slots_used = n_pfd - 1;
    struct timespec ts = {.tv_sec = (time_t)wait, .tv_nsec = (long)((wait - floor(wait)) * 1e9)};
    int ready = ppoll(pfds, (nfds_t)n_pfd, &ts, NULL);
    if (ready < 0) {
        if (errno == EINTR) return;
        die("ppoll");
    }
    double now = now_s();
    for (int k = 0; k < n_pfd && ready > 0; k++) {
        if (!(pfds[k].revents & POLLIN)) continue;
        ready--;
        if (map[k] < 0) read_queries(px, now);
        else read_answers(px, map[k], now);
    }
}

static void serve(proxy_t *px)
{
    while (!stop_flag) {
        double now = now_s();
        if (now - px->t_start > px->opt.max_seconds) break;
        /* Release what is due, upstream first. */
        release_upstream(px, now);
        release_downstream(px, now);
        expire_unanswered(px, now);
        wait_and_read(px, next_wait(px, now));
    }
}

static void write_stats(proxy_t *px)
{
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    FILE *out = px->opt.stats_path ? fopen(px->opt.stats_path, "w") : stdout;
    if (!out) die("stats file");
    const late_t *up = &px->late_up, *down = &px->late_down;
    fprintf(out, "{\n");
    fprintf(out, "  \"delay_ms\": %.3f,\n  \"per_server\": %d,\n  \"upstreams\": %d,\n", px->opt.delay * 1000,
            px->opt.per_server, px->n_up);
    fprintf(out, "  \"listen_rcvbuf\": %d,\n", buffer_size(px->lfd, SO_RCVBUF));
    fprintf(out, "  \"queries\": %ld,\n  \"new_queries\": %ld,\n  \"forwarded\": %ld,\n", px->queries, px->new_queries,
            px->forwarded);
    fprintf(out, "  \"responses\": %ld,\n  \"delivered\": %ld,\n", px->responses, px->delivered);
    fprintf(out, "  \"retry_while_pending\": %ld,\n  \"retry_after_answer\": %ld,\n", px->retry_pending,
            px->retry_answered);
    fprintf(out, "  \"retry_after_server_loss\": %ld,\n", px->retry_lost);
    fprintf(out, "  \"repeated_questions\": %ld,\n  \"id_reuse_in_flight\": %ld,\n", px->repeated_questions,
            px->id_reuse);
    fprintf(out, "  \"distinct_questions\": %zu,\n", qset_count);
    fprintf(out, "  \"loss\": %.4f,\n  \"dropped_up\": %ld,\n  \"dropped_down\": %ld,\n  \"dead_zone_queries\": %ld,\n",
            px->opt.loss, px->dropped_up, px->dropped_down, px->dead_zone_queries);
    fprintf(out, "  \"client_sockets\": %u,\n  \"max_client_sockets_at_once\": %d,\n", px->slot_gens,
            px->max_slots_used);
    fprintf(out, "  \"server_unanswered\": %ld,\n  \"late_responses\": %ld,\n  \"dup_responses\": %ld,\n",
            px->server_unanswered, px->late_responses, px->dup_responses);
    fprintf(out, "  \"stray_responses\": %ld,\n  \"truncated_responses\": %ld,\n  \"oversize\": %ld,\n",
            px->stray_responses, px->truncated, px->oversize);
    fprintf(out, "  \"slots_full\": %ld,\n  \"send_errors\": %ld,\n", px->slots_full, px->send_errors);
    fprintf(out, "  \"max_inflight\": %d,\n", px->max_inflight);
    fprintf(out, "  \"first_query_s\": %.6f,\n  \"last_query_s\": %.6f,\n  \"last_delivery_s\": %.6f,\n",
            px->t_first < 0 ? -1 : px->t_first - px->t_start,
            px->t_last_query < 0 ? -1 : px->t_last_query - px->t_start,
            px->t_last_delivery < 0 ? -1 : px->t_last_delivery - px->t_start);
    fprintf(out, "  \"late_up_mean_ms\": %.4f,\n  \"late_up_max_ms\": %.4f,\n  \"late_up_over_1ms\": %ld,\n",
            up->n ? up->sum / up->n * 1000 : 0, up->max * 1000, up->over1ms);
    fprintf(out, "  \"late_down_mean_ms\": %.4f,\n  \"late_down_max_ms\": %.4f,\n  \"late_down_over_1ms\": %ld,\n",
            down->n ? down->sum / down->n * 1000 : 0, down->max * 1000, down->over1ms);
    fprintf(out, "  \"server_forwarded\": [");
    for (int i = 0; i < px->n_up; i++) fprintf(out, "%s%ld", i ? ", " : "", px->forwarded_to[i]);
    fprintf(out, "],\n  \"server_max_outstanding\": [");
    for (int i = 0; i < px->n_up; i++) fprintf(out, "%s%d", i ? ", " : "", px->max_outstanding[i]);
    fprintf(out, "],\n  \"cpu_user_s\": %.3f,\n  \"cpu_sys_s\": %.3f,\n",
            ru.ru_utime.tv_sec + ru.ru_utime.tv_usec * 1e-6, ru.ru_stime.tv_sec + ru.ru_stime.tv_usec * 1e-6);
    fprintf(out, "  \"bucket_s\": %.3f,\n  \"inflight_max\": [", BUCKET_S);
    for (int b = 0; b < px->n_buckets; b++) fprintf(out, "%s%d", b ? "," : "", (int)px->bucket_max[b]);
    fprintf(out, "],\n  \"inflight_mean\": [");
    for (int b = 0; b < px->n_buckets; b++) fprintf(out, "%s%.1f", b ? "," : "", px->bucket_area[b] / BUCKET_S);
    fprintf(out, "]\n}\n");
    if (out != stdout) fclose(out);
}

int main(int argc, char **argv)
{
    static proxy_t px; /* large (the timeline), so not on the stack */
    int status = parse_options(argc, argv, &px.opt);
    if (status == 0) status = parse_addresses(&px);
    if (status != 0) return status;

    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    signal(SIGPIPE, SIG_IGN);
    open_listener(&px);

    px.t_start = now_s();
    px.t_first = px.t_last_query = px.t_last_delivery = -1;
    serve(&px);
    track(&px, now_s());
    write_stats(&px);
    return 0;
}
