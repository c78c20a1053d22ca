#include "opc/OPCClient.h"

#include <utility>

namespace qx {

OPCClientItem* OPCClientGroup::FindItem(uint32_t handle) {
  for (OPCClientItem& item : items_)
    if (item.Handle == handle) return &item;
  return nullptr;
}

OPCClientItem& OPCClientGroup::AddItem(std::string itemID) {
  OPCClientItem& item = items_.emplace_back();
  item.ItemID = std::move(itemID);
  item.Handle = connection_.NextItemHandle();
  return item;
}

void OPCClientGroup::RemoveAllItems() {
  items_.clear();
  connection_.ItemsRemoved(*this);
}

OPCClientGroup* OPCClient::FindGroup(uint32_t id) {
  for (auto& group : groups_)
    if (group->Id() == id) return group.get();
  return nullptr;
}

OPCClientGroup& OPCClient::AddGroup(std::string name) {
  groups_.push_back(std::make_unique<OPCClientGroup>(*this, ++lastGroupId_, std::move(name)));
  return *groups_.back();
}

void OPCClient::SetWake(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_ = std::move(wake);
}

void OPCClient::Report(OPCClientReport report) {
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(std::move(report));
    wake = wake_;
  }
  if (wake) wake();
}

std::size_t OPCClient::DeliverEvents(OPCClientEvents& events) {
  if (delivering_) return 0;
  struct Delivering {
    bool& flag;
    explicit Delivering(bool& f) : flag(f) { flag = true; }
    ~Delivering() { flag = false; }
  } delivering(delivering_);
  std::size_t left = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    left = reports_.size();
  }
  std::size_t delivered = 0;
  for (; left > 0; --left) {
    OPCClientReport report;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      report = std::move(reports_.front());
      reports_.pop_front();
    }
    // Applied one at a time, so that what an event handler runs nested
    // finds the rest still queued, in order, instead of taken aside.
    Apply(report, events);
    ++delivered;
  }
  return delivered;
}

std::vector<std::string> OPCClient::ApplyRegistrations(const std::vector<OPCItemUpdate>& outcomes) {
  std::vector<std::string> rejected;
  for (const OPCItemUpdate& outcome : outcomes) {
    for (auto& group : groups_) {
      OPCClientItem* item = group->FindItem(outcome.Handle);
      if (!item) continue;
      item->Registered = outcome.Status == 0;
      item->LastError = outcome.Status;
      if (outcome.Status != 0) rejected.push_back(item->ItemID);
      break;
    }
  }
  return rejected;
}

namespace {

std::string RejectedItemsError(const std::vector<std::string>& rejected) {
  std::string error = "the server rejected the item";
  error += rejected.size() == 1 ? " " : "s ";
  for (std::size_t i = 0; i < rejected.size(); ++i) {
    if (i > 0) error += ", ";
    error += '"' + rejected[i] + '"';
  }
  return error;
}

}  // namespace

void OPCClient::Apply(OPCClientReport& report, OPCClientEvents& events) {
  using K = OPCClientReport::Kind;
  switch (report.What) {
    case K::Connected:
      active_ = true;  // also after a disconnect reported late
      events.OnConnect();
      return;
    case K::SetActiveDone: {
      const std::vector<std::string> rejected = ApplyRegistrations(report.Updates);
      // A failed connect: the connection is inactive again (unless a newer
      // SetActive(true) is already on its way; it reports for itself).
      if (!report.Text.empty() && rejected.empty()) active_ = false;
      events.OnSetActiveDone(rejected.empty() ? report.Text : RejectedItemsError(rejected));
      return;
    }
    case K::AddItemsDone: {
      OPCClientGroup* group = FindGroup(report.Group);
      const std::vector<std::string> rejected = ApplyRegistrations(report.Updates);
      if (group) events.OnAddItemsDone(*group, rejected.empty() ? report.Text : RejectedItemsError(rejected));
      return;
    }
    case K::DataChange: {
      OPCClientGroup* group = FindGroup(report.Group);
      if (!group) return;
      for (OPCItemUpdate& update : report.Updates) {
        if (OPCClientItem* item = group->FindItem(update.Handle)) {
          item->ValueText = std::move(update.ValueText);
          item->Quality = update.Quality;
        }
      }
      events.OnDataChange(*group);
      return;
    }
    case K::Disconnected:
      active_ = false;
      events.OnDisconnect();
      return;
  }
}

}  // namespace qx
