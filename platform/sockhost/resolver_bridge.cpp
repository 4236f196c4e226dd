// The C library's resolver sends its queries through the library's own
// internal socket calls, which the host never sees. A program that asks it for
// a name's service bindings (SVCB and HTTPS records) gets none: those records
// carry the keys of an encrypted ClientHello, which would hide the site's name
// from the filter, as the provider's refusal of such queries sent over a
// program's own sockets keeps them away too. Every other query goes to the C
// library unchanged. Both the current names and the older "__res_" names are
// taken, for programs built against either.

#include <dlfcn.h>
#include <netdb.h>
#include <resolv.h>

#define QM_BRIDGE extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kTypeSvcb = 64;
constexpr int kTypeHttps = 65;

bool IsServiceBinding(int type) {
    return type == kTypeSvcb || type == kTypeHttps;
}

// The resolver's answer for a name without records of the type.
int NoData(res_state state) {
    if (state) {
        state->res_h_errno = NO_DATA;
    }
    h_errno = NO_DATA;
    return -1;
}

template <typename F> F Next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

using NQuery = int (*)(res_state, const char*, int, int, unsigned char*, int);
using Query = int (*)(const char*, int, int, unsigned char*, int);
using NQueryDomain = int (*)(res_state, const char*, const char*, int, int, unsigned char*, int);
using QueryDomain = int (*)(const char*, const char*, int, int, unsigned char*, int);

} // namespace

// One pair of bridges per function: the current name and the older one, each
// passing on to the C library's function of the same name.
#define QM_STATE_QUERY(name, Type, ...)                                                            \
    QM_BRIDGE int name(res_state state, __VA_ARGS__) {                                            \
        static Type next = Next<Type>(#name);                                                      \
        return IsServiceBinding(type) ? NoData(state) : next(state, QM_ARGS);                      \
    }
#define QM_PLAIN_QUERY(name, Type, ...)                                                            \
    QM_BRIDGE int name(__VA_ARGS__) {                                                              \
        static Type next = Next<Type>(#name);                                                      \
        return IsServiceBinding(type) ? NoData(nullptr) : next(QM_ARGS);                           \
    }

#define QM_ARGS dname, klass, type, answer, length
QM_STATE_QUERY(res_nquery, NQuery, const char* dname, int klass, int type, unsigned char* answer,
               int length)
QM_STATE_QUERY(__res_nquery, NQuery, const char* dname, int klass, int type, unsigned char* answer,
               int length)
QM_STATE_QUERY(res_nsearch, NQuery, const char* dname, int klass, int type, unsigned char* answer,
               int length)
QM_STATE_QUERY(__res_nsearch, NQuery, const char* dname, int klass, int type,
               unsigned char* answer, int length)
QM_PLAIN_QUERY(res_query, Query, const char* dname, int klass, int type, unsigned char* answer,
               int length)
QM_PLAIN_QUERY(__res_query, Query, const char* dname, int klass, int type, unsigned char* answer,
               int length)
QM_PLAIN_QUERY(res_search, Query, const char* dname, int klass, int type, unsigned char* answer,
               int length)
QM_PLAIN_QUERY(__res_search, Query, const char* dname, int klass, int type, unsigned char* answer,
               int length)
#undef QM_ARGS

#define QM_ARGS dname, domain, klass, type, answer, length
QM_STATE_QUERY(res_nquerydomain, NQueryDomain, const char* dname, const char* domain, int klass,
               int type, unsigned char* answer, int length)
QM_STATE_QUERY(__res_nquerydomain, NQueryDomain, const char* dname, const char* domain, int klass,
               int type, unsigned char* answer, int length)
QM_PLAIN_QUERY(res_querydomain, QueryDomain, const char* dname, const char* domain, int klass,
               int type, unsigned char* answer, int length)
QM_PLAIN_QUERY(__res_querydomain, QueryDomain, const char* dname, const char* domain, int klass,
               int type, unsigned char* answer, int length)
#undef QM_ARGS
