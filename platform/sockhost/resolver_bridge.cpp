// The C library's resolver sends its queries through the library's own
// internal socket calls, which the host never sees. A filtered program that
// asks it for a name's service bindings (SVCB and HTTPS records) gets none:
// those records carry the keys of an encrypted ClientHello, which would hide
// the site's name from the filter, as the provider's refusal of such queries
// sent over a program's own sockets keeps them away too. Every other query,
// and every query of a process that is not filtered, goes to the C library
// unchanged. Both the current names and the older "__res_" names are taken,
// for programs built against either.

#include "platform/sockhost/bridge_support.h"

#include <dlfcn.h>
#include <netdb.h>
#include <resolv.h>

#define QM_BRIDGE extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kTypeSvcb = 64;
constexpr int kTypeHttps = 65;

// A query this process does not get to send.
bool IsServiceBinding(int type) {
    return (type == kTypeSvcb || type == kTypeHttps) && sockhost::ProcessFiltered();
}

// The resolver's answer for a name without records of the type.
int NoData(res_state state) {
    if (state) {
        state->res_h_errno = NO_DATA;
    }
    h_errno = NO_DATA;
    return -1;
}

// The C library's function of that name.
template <typename F> F Next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

QM_BRIDGE int res_nquery(res_state state, const char* dname, int klass, int type,
                         unsigned char* answer, int length) {
    static auto next = Next<decltype(&res_nquery)>("res_nquery");
    return IsServiceBinding(type) ? NoData(state) : next(state, dname, klass, type, answer, length);
}

QM_BRIDGE int res_nsearch(res_state state, const char* dname, int klass, int type,
                          unsigned char* answer, int length) {
    static auto next = Next<decltype(&res_nsearch)>("res_nsearch");
    return IsServiceBinding(type) ? NoData(state) : next(state, dname, klass, type, answer, length);
}

QM_BRIDGE int res_nquerydomain(res_state state, const char* dname, const char* domain, int klass,
                               int type, unsigned char* answer, int length) {
    static auto next = Next<decltype(&res_nquerydomain)>("res_nquerydomain");
    return IsServiceBinding(type) ? NoData(state)
                                  : next(state, dname, domain, klass, type, answer, length);
}

QM_BRIDGE int res_query(const char* dname, int klass, int type, unsigned char* answer, int length) {
    static auto next = Next<decltype(&res_query)>("res_query");
    return IsServiceBinding(type) ? NoData(nullptr) : next(dname, klass, type, answer, length);
}

QM_BRIDGE int res_search(const char* dname, int klass, int type, unsigned char* answer,
                         int length) {
    static auto next = Next<decltype(&res_search)>("res_search");
    return IsServiceBinding(type) ? NoData(nullptr) : next(dname, klass, type, answer, length);
}

QM_BRIDGE int res_querydomain(const char* dname, const char* domain, int klass, int type,
                              unsigned char* answer, int length) {
    static auto next = Next<decltype(&res_querydomain)>("res_querydomain");
    return IsServiceBinding(type) ? NoData(nullptr)
                                  : next(dname, domain, klass, type, answer, length);
}

// The older names are the same functions in the C library.
#define QM_OLDER_NAME(name)                                                                        \
    QM_BRIDGE decltype(name) __##name __attribute__((nothrow, alias(#name)));
QM_OLDER_NAME(res_nquery)
QM_OLDER_NAME(res_nsearch)
QM_OLDER_NAME(res_nquerydomain)
QM_OLDER_NAME(res_query)
QM_OLDER_NAME(res_search)
QM_OLDER_NAME(res_querydomain)
