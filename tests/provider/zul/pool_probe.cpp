// A test build of the provider that also tells how many overlapped records are
// taken from its pool and not yet released.

#include "provider/overlapped_operation.h"

extern "C" __attribute__((visibility("default"))) std::size_t qm_zul_outstanding_records() {
    return zul::OutstandingOverlappedRecords();
}
