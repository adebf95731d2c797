#include "platform/db/odbc/connection_pool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/db/odbc/environment.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace wq::db::odbc::pool {
namespace {

using Clock = std::chrono::steady_clock;

struct Idle {
  Text key;
  SQLHDBC dbc;
  Clock::time_point since;
};

struct Held {
  Text key;
  SQLHDBC dbc;
  std::thread::id thread;
  int holds;
};

// Idle connections newest last. Never destroyed: the reaper may still run while the process
// exits, and idle connections stay valid as long as their environment.
struct State {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Idle> idle;
  std::vector<Held> held;
  std::chrono::milliseconds limit = kDefaultIdleLimit;
  std::thread reaper;
  bool reaping = false;  // the reaper thread runs (or is about to end)
  bool stopping = false;
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
  const Clock::time_point limit = Clock::now() - s.limit;
  while (!s.idle.empty() && s.idle.front().since <= limit) {
    out.push_back(s.idle.front().dbc);
    s.idle.pop_front();
  }
}

void DiscardAll(const std::vector<SQLHDBC>& handles) {
  for (SQLHDBC dbc : handles) Discard(dbc);
}

#ifdef _WIN32
// While the reaper runs it holds a reference on the module that contains it, so that a host that
// unloads the DLL without asking DllCanUnloadNow first (CoUninitialize) does not unmap the code
// under it; the thread drops that reference as it ends, without returning into the module.
HMODULE PinThisModule();
#endif

// Closes idle connections as they expire; ends when none is left or on Shutdown.
void Reap(void* pinned) {
  State& s = Shared();
  std::unique_lock lock(s.mutex);
  for (;;) {
    std::vector<SQLHDBC> closing;
    TakeExpired(s, closing);
    if (!closing.empty()) {
      lock.unlock();
      DiscardAll(closing);
      lock.lock();
      continue;
    }
    if (s.stopping || s.idle.empty()) break;
    s.wake.wait_until(lock, s.idle.front().since + s.limit);
  }
  s.reaping = false;
#ifdef _WIN32
  if (pinned != nullptr) {
    lock.unlock();
    FreeLibraryAndExitThread(static_cast<HMODULE>(pinned), 0);
  }
#else
  (void)pinned;
#endif
}

#ifdef _WIN32
HMODULE PinThisModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&PinThisModule), &module)) {
    return nullptr;
  }
  return module;
}
#endif

// Starts the reaper when it is not running; the caller holds the lock. A reaper that has
// already decided to end is handed back for joining outside the lock.
std::thread StartReaper(State& s) {
  if (s.reaping || s.stopping) return {};
  std::thread finished = std::move(s.reaper);
  s.reaping = true;
#ifdef _WIN32
  s.reaper = std::thread(Reap, static_cast<void*>(PinThisModule()));
#else
  s.reaper = std::thread(Reap, nullptr);
#endif
  return finished;
}

void Join(std::thread& t) {
  if (t.joinable()) t.join();
}

// This thread's hold of the key, or end().
std::vector<Held>::iterator FindHeld(State& s, const Text& key) {
  const std::thread::id self = std::this_thread::get_id();
  return std::find_if(s.held.begin(), s.held.end(),
                      [&](const Held& h) { return h.thread == self && h.key == key; });
}

// Releases one hold of dbc; true when it was the last.
bool Release(State& s, SQLHDBC dbc) {
  auto it = std::find_if(s.held.begin(), s.held.end(), [&](const Held& h) { return h.dbc == dbc; });
  if (it == s.held.end()) return true;
  if (--it->holds > 0) return false;
  s.held.erase(it);
  return true;
}

}  // namespace

void Discard(SQLHDBC dbc) {
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  ConnectionFreed();
}

SQLHDBC Take(const Text& key) {
  State& s = Shared();
  for (;;) {
    std::vector<SQLHDBC> closing;
    SQLHDBC found = SQL_NULL_HDBC;
    {
      std::lock_guard lock(s.mutex);
      if (auto held = FindHeld(s, key); held != s.held.end()) {
        ++held->holds;
        return held->dbc;
      }
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
    if (found == SQL_NULL_HDBC) return found;
    if (!Dead(found)) {
      Hold(key, found);
      return found;
    }
    Discard(found);
  }
}

void Hold(const Text& key, SQLHDBC dbc) {
  State& s = Shared();
  std::lock_guard lock(s.mutex);
  s.held.push_back(Held{key, dbc, std::this_thread::get_id(), 1});
}

void Give(const Text& key, SQLHDBC dbc) {
  State& s = Shared();
  {
    std::lock_guard lock(s.mutex);
    if (!Release(s, dbc)) return;
  }
  if (Dead(dbc)) {
    Discard(dbc);
    return;
  }
  std::vector<SQLHDBC> closing;
  std::thread finished;
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
    if (s.stopping) {
      closing.push_back(dbc);
    } else {
      s.idle.push_back(Idle{key, dbc, Clock::now()});
      finished = StartReaper(s);
    }
  }
  Join(finished);
  DiscardAll(closing);
}

void Abandon(const Text& key, SQLHDBC dbc) {
  (void)key;
  State& s = Shared();
  {
    std::lock_guard lock(s.mutex);
    if (!Release(s, dbc)) return;
  }
  Discard(dbc);
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

size_t HeldCount() {
  State& s = Shared();
  std::lock_guard lock(s.mutex);
  return s.held.size();
}

std::chrono::milliseconds IdleLimit() {
  State& s = Shared();
  std::lock_guard lock(s.mutex);
  return s.limit;
}

void SetIdleLimit(std::chrono::milliseconds limit) {
  State& s = Shared();
  std::lock_guard lock(s.mutex);
  s.limit = std::max(limit, std::chrono::milliseconds(1));
  s.wake.notify_all();
}

void Shutdown() {
  State& s = Shared();
  std::vector<SQLHDBC> closing;
  std::thread reaper;
  {
    std::lock_guard lock(s.mutex);
    s.stopping = true;
    s.wake.notify_all();
    reaper = std::move(s.reaper);
  }
  Join(reaper);
  {
    std::lock_guard lock(s.mutex);
    for (const Idle& i : s.idle) closing.push_back(i.dbc);
    s.idle.clear();
    s.reaping = false;
    s.stopping = false;
  }
  DiscardAll(closing);
}

}  // namespace wq::db::odbc::pool
