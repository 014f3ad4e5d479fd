// Whether the next position found may send an alert.
#include "common/alert_permission.h"

#include <atomic>

namespace {

std::atomic<bool> searchMaySend{false};

}  // namespace

void setSearchSendsAlert(bool sends) {
    searchMaySend.store(sends);
}
bool searchSendsAlert() {
    return searchMaySend.load();
}
