#include "platform/db/odbc/connection_pool.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <vector>

namespace wq::db::odbc::pool {
namespace {

using Clock = std::chrono::steady_clock;

struct Idle {
  Text key;
  SQLHDBC dbc;
  Clock::time_point since;
};

// Newest last. Never destroyed: idle connections stay valid until the process ends, like the
// environment they belong to.
struct State {
  std::mutex mutex;
  std::deque<Idle> idle;
};

State& Shared() {
  static State* state = new State;
  return *state;
}

bool Dead(SQLHDBC dbc) {
  SQLUINTEGER dead = SQL_CD_FALSE;
  SQLRETURN rc = SQLGetConnectAttrW(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  // A driver that cannot tell is trusted; the first statement finds out.
  return Succeeded(rc) && dead == SQL_CD_TRUE;
}

// Moves the expired connections out; the caller closes them outside the lock.
void TakeExpired(State& s, std::vector<SQLHDBC>& out) {
  const Clock::time_point limit = Clock::now() - kIdleSeconds;
  while (!s.idle.empty() && s.idle.front().since < limit) {
    out.push_back(s.idle.front().dbc);
    s.idle.pop_front();
  }
}

void DiscardAll(const std::vector<SQLHDBC>& handles) {
  for (SQLHDBC dbc : handles) Discard(dbc);
}

}  // namespace

void Discard(SQLHDBC dbc) {
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}

SQLHDBC Take(const Text& key) {
  State& s = Shared();
  for (;;) {
    std::vector<SQLHDBC> closing;
    SQLHDBC found = SQL_NULL_HDBC;
    {
      std::lock_guard lock(s.mutex);
      TakeExpired(s, closing);
      // The most recently used one: the least likely to have timed out at the server.
      auto it =
          std::find_if(s.idle.rbegin(), s.idle.rend(), [&](const Idle& i) { return i.key == key; });
      if (it != s.idle.rend()) {
        found = it->dbc;
        s.idle.erase(std::next(it).base());
      }
    }
    DiscardAll(closing);
    if (found == SQL_NULL_HDBC || !Dead(found)) return found;
    Discard(found);
  }
}

void Give(const Text& key, SQLHDBC dbc) {
  if (Dead(dbc)) {
    Discard(dbc);
    return;
  }
  State& s = Shared();
  std::vector<SQLHDBC> closing;
  {
    std::lock_guard lock(s.mutex);
    TakeExpired(s, closing);
    size_t same = static_cast<size_t>(
        std::count_if(s.idle.begin(), s.idle.end(), [&](const Idle& i) { return i.key == key; }));
    if (same >= kPerKey) {
      // The oldest of this key makes room.
      auto oldest =
          std::find_if(s.idle.begin(), s.idle.end(), [&](const Idle& i) { return i.key == key; });
      closing.push_back(oldest->dbc);
      s.idle.erase(oldest);
    } else if (s.idle.size() >= kTotal) {
      closing.push_back(s.idle.front().dbc);
      s.idle.pop_front();
    }
    s.idle.push_back(Idle{key, dbc, Clock::now()});
  }
  DiscardAll(closing);
}

void DropAll(const Text& key) {
  State& s = Shared();
  std::vector<SQLHDBC> closing;
  {
    std::lock_guard lock(s.mutex);
    for (auto it = s.idle.begin(); it != s.idle.end();) {
      if (it->key == key) {
        closing.push_back(it->dbc);
        it = s.idle.erase(it);
      } else {
        ++it;
      }
    }
  }
  DiscardAll(closing);
}

size_t IdleCount() {
  State& s = Shared();
  std::lock_guard lock(s.mutex);
  return s.idle.size();
}

}  // namespace wq::db::odbc::pool
