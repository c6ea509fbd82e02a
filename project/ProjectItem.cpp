#include "project/ProjectItem.h"

#include <vector>

namespace qlm {

ProjectItem::ProjectItem(Kind kind) : kind_(kind) {
  options_.fill(kUnset);
  if (kind == kRoot) SetOwn(ItemOption::PilotType, kPilotNormal);
}

ProjectItem::~ProjectItem() {
  DeleteDescendants();
}

const ProjectItem* ProjectItem::Root() const {
  const ProjectItem* item = this;
  while (item->parent_) item = item->parent_;
  return item;
}

bool ProjectItem::Contains(const ProjectItem* item) const {
  for (; item; item = item->parent_) {
    if (item == this) return true;
  }
  return false;
}

int32_t ProjectItem::Effective(ItemOption option) const {
  if (option == ItemOption::PilotType) {
    // Any forbidden level decides; otherwise the nearest explicit mark.
    int32_t nearest = kUnset;
    for (const ProjectItem* item = this; item; item = item->parent_) {
      const int32_t own = item->Own(option);
      if (own == kPilotForbidden) return kPilotForbidden;
      if (nearest == kUnset) nearest = own;
    }
    return nearest;
  }
  if (const auto group = GroupOf(option)) {
    const ProjectItem* supplier = GroupSupplier(*group);
    if (supplier) return supplier->Own(option);
    return option == GroupFlag(*group) ? kUnset : Root()->Own(option);
  }
  for (const ProjectItem* item = this; item; item = item->parent_) {
    if (item->Own(option) != kUnset) return item->Own(option);
  }
  return kUnset;
}

int32_t ProjectItem::Inherited(ItemOption option) const {
  return parent_ ? parent_->Effective(option) : kUnset;
}

const ProjectItem* ProjectItem::GroupSupplier(OptionGroup group) const {
  const ItemOption flag = GroupFlag(group);
  for (const ProjectItem* item = this; item; item = item->parent_) {
    if (item->Own(flag) != kUnset) return item;
  }
  return nullptr;
}

const std::string* ProjectItem::EffectiveString(ItemString option) const {
  const ProjectItem* supplier = GroupSupplier(GroupOf(option));
  return supplier ? &supplier->OwnString(option) : nullptr;
}

bool ProjectItem::SetPilotType(int32_t value) {
  if (Effective(ItemOption::PilotType) == kPilotForbidden &&
      Own(ItemOption::PilotType) != kPilotForbidden) {
    return false;
  }
  SetOwn(ItemOption::PilotType, value);
  return true;
}

ProjectItem* ProjectItem::AppendChild(std::unique_ptr<ProjectItem> child) {
  if (!child || kind_ == kRecord || child->kind_ == kRoot) return nullptr;
  ProjectItem* raw = child.release();
  ProjectItem* last = last_child_;
  raw->parent_ = this;
  raw->next_ = nullptr;
  raw->prev_ = last;
  if (last) {
    last->next_ = raw;
  } else {
    first_child_ = raw;
  }
  last_child_ = raw;
  return raw;
}

void ProjectItem::Unlink() {
  if (prev_) {
    prev_->next_ = next_;
  } else if (parent_) {
    parent_->first_child_ = next_;
  }
  if (next_) {
    next_->prev_ = prev_;
  } else if (parent_) {
    parent_->last_child_ = prev_;
  }
}

std::unique_ptr<ProjectItem> ProjectItem::Detach() {
  if (first_child_ || !parent_) return nullptr;
  Unlink();
  return std::unique_ptr<ProjectItem>(this);
}

bool ProjectItem::MoveTo(ProjectItem* new_parent) {
  if (!parent_ || !new_parent || new_parent->kind_ == kRecord || Contains(new_parent)) {
    return false;
  }
  Unlink();
  parent_ = nullptr;
  new_parent->AppendChild(std::unique_ptr<ProjectItem>(this));
  return true;
}

void ProjectItem::DeleteDescendants() {
  // Collected first and freed childless, so that a tree of any depth is freed without recursion.
  std::vector<ProjectItem*> doomed;
  for (ProjectItem* child = first_child_; child; child = child->next_) doomed.push_back(child);
  for (std::size_t i = 0; i < doomed.size(); ++i) {
    for (ProjectItem* child = doomed[i]->first_child_; child; child = child->next_) {
      doomed.push_back(child);
    }
  }
  first_child_ = nullptr;
  last_child_ = nullptr;
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
    (*it)->first_child_ = nullptr;
    delete *it;
  }
}

bool ProjectItem::DeleteItem(ProjectItem* item) {
  if (!item || !item->parent_) return false;
  item->DeleteDescendants();
  item->Detach();  // the returned owner frees it
  return true;
}

std::string ProjectItem::FolderPath() const {
  const ProjectItem* start = kind_ == kRecord && parent_ ? parent_ : this;
  std::vector<const ProjectItem*> chain;
  for (const ProjectItem* item = start; item; item = item->parent_) chain.push_back(item);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin()) path += '/';
    if ((*it)->title_) path += *(*it)->title_;
  }
  return path;
}

}  // namespace qlm
