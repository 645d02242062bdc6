#include "server/exec/locks.h"

#include <algorithm>
#include <tuple>

namespace server {

namespace {

bool Compatible(LockMode held, LockMode wanted) {
  if (held == LockMode::kExclusive || wanted == LockMode::kExclusive) return false;
  return held == LockMode::kShared || wanted == LockMode::kShared;
}

}  // namespace

std::vector<int> LockTable::Blockers(int session, const std::string& resource,
                                     LockMode mode) const {
  std::vector<int> blockers;
  auto found = holders_.find(resource);
  if (found == holders_.end()) return blockers;
  for (const auto& [holder, held] : found->second) {
    if (holder != session && !Compatible(held.mode, mode)) blockers.push_back(holder);
  }
  return blockers;
}

int LockTable::BlockedBy(int session) const {
  auto wait = waiting_.find(session);
  if (wait == waiting_.end()) return 0;
  std::vector<int> blockers = Blockers(session, wait->second.resource, wait->second.mode);
  return blockers.empty() ? 0 : blockers.front();
}

std::vector<LockTable::Listed> LockTable::List() const {
  std::vector<Listed> listed;
  for (const auto& [session, resources] : held_by_) {
    for (const std::string& resource : resources) {
      auto holders = holders_.find(resource);
      if (holders == holders_.end()) continue;
      auto held = holders->second.find(session);
      if (held != holders->second.end())
        listed.push_back({session, resource, held->second.mode, false});
    }
    auto wait = waiting_.find(session);
    if (wait != waiting_.end())
      listed.push_back({session, wait->second.resource, wait->second.mode, true});
  }
  for (const auto& [session, request] : waiting_) {
    if (!held_by_.count(session)) listed.push_back({session, request.resource, request.mode, true});
  }
  std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
    return std::tie(a.session, a.waiting, a.resource) < std::tie(b.session, b.waiting, b.resource);
  });
  return listed;
}

bool LockTable::TryLock(int session, const std::string& resource, LockMode mode, int level) {
  if (!Blockers(session, resource, mode).empty()) return false;
  auto [it, fresh] = holders_[resource].try_emplace(session, Held{mode, level});
  if (!fresh) {
    it->second.mode = std::max(it->second.mode, mode);
    it->second.level = std::min(it->second.level, level);
  }
  held_by_[session].insert(resource);
  return true;
}

bool LockTable::Holds(int session, const std::string& resource) const {
  auto found = holders_.find(resource);
  return found != holders_.end() && found->second.count(session) > 0;
}

void LockTable::Release(int session, bool (*which)(int level, int from), int from) {
  auto mine = held_by_.find(session);
  if (mine == held_by_.end()) return;
  for (auto it = mine->second.begin(); it != mine->second.end();) {
    auto holders = holders_.find(*it);
    auto held = holders->second.find(session);
    if (!which(held->second.level, from)) {
      ++it;
      continue;
    }
    holders->second.erase(held);
    if (holders->second.empty()) holders_.erase(holders);
    it = mine->second.erase(it);
  }
  if (mine->second.empty()) held_by_.erase(mine);
}

int LockTable::EnterStatement(int session) { return ++levels_[session]; }

void LockTable::LeaveStatement(int session, int level) {
  Release(
      session, [](int held, int from) { return held != kTransactionLock && held >= from; }, level);
  if (level <= 1) {
    levels_.erase(session);
  } else {
    levels_[session] = level - 1;
  }
}

int LockTable::Level(int session) const {
  auto found = levels_.find(session);
  return found == levels_.end() ? 0 : found->second;
}

void LockTable::ReleaseTransaction(int session) {
  Release(
      session, [](int held, int) { return held == kTransactionLock; }, 0);
}

void LockTable::Forget(int session) {
  Release(
      session, [](int, int) { return true; }, 0);
  waiting_.erase(session);
  levels_.erase(session);
}

void LockTable::Wait(int session, const std::string& resource, LockMode mode) {
  waiting_[session] = Request{resource, mode};
}

void LockTable::StopWaiting(int session) { waiting_.erase(session); }

bool LockTable::FindPath(int from, int target, std::set<int>& seen, std::vector<int>& path) const {
  auto request = waiting_.find(from);
  if (request == waiting_.end()) return false;
  for (int blocker : Blockers(from, request->second.resource, request->second.mode)) {
    if (blocker == target) return true;
    if (!seen.insert(blocker).second) continue;
    path.push_back(blocker);
    if (FindPath(blocker, target, seen, path)) return true;
    path.pop_back();
  }
  return false;
}

std::vector<int> LockTable::FindCycle(int session) const {
  std::vector<int> path{session};
  std::set<int> seen{session};
  if (FindPath(session, session, seen, path)) return path;
  return {};
}

}  // namespace server
