#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "project/ItemOption.h"

namespace qlm {

// One node of a project tree: the root (the project-wide values), a Folder or a Record (a URL
// item). Every node carries the full set of patrol options; an option holding kUnset (-1) is
// inherited from the nearest ancestor that sets it, and where no level sets it the application
// default applies (ItemDefaults).
//
// Ownership: a linked item is owned by its parent, which frees it with its own subtree. The root is
// owned by the project document. Detach() hands a childless item back to the caller.
class ProjectItem {
 public:
  enum Kind : uint8_t { kRecord = 0, kFolder = 1, kRoot = 2 };

  // Every option unset, every group string empty, no URL, Title or LocalName; a root starts with
  // PilotType 0 (normal), which anchors the inheritance of the patrol mark.
  explicit ProjectItem(Kind kind);
  ~ProjectItem();
  ProjectItem(const ProjectItem&) = delete;
  ProjectItem& operator=(const ProjectItem&) = delete;

  Kind GetKind() const { return kind_; }
  bool IsRecord() const { return kind_ == kRecord; }

  ProjectItem* Parent() const { return parent_; }
  ProjectItem* FirstChild() const { return first_child_; }
  ProjectItem* Next() const { return next_; }
  ProjectItem* Prev() const { return prev_; }
  ProjectItem* LastChild() const { return last_child_; }
  const ProjectItem* Root() const;
  // True when `item` is this item or lies anywhere below it.
  bool Contains(const ProjectItem* item) const;

  // The address as the user entered it (Records); the display name; a Record's local name, which
  // is only carried through the project file. Null when not set.
  const std::optional<std::string>& URL() const { return url_; }
  const std::optional<std::string>& Title() const { return title_; }
  const std::optional<std::string>& LocalName() const { return local_name_; }
  void SetURL(std::optional<std::string> url) { url_ = std::move(url); }
  void SetTitle(std::optional<std::string> title) { title_ = std::move(title); }
  void SetLocalName(std::optional<std::string> name) { local_name_ = std::move(name); }

  // The node's handle in the project tree view; the view's business, never saved.
  uintptr_t ViewHandle() const { return view_handle_; }
  void SetViewHandle(uintptr_t handle) { view_handle_ = handle; }

  // The item's own values, kUnset when it inherits. SetOwn is a plain assignment, also for
  // PilotType; the commands that mark items use the guarded SetPilotType instead.
  int32_t Own(ItemOption option) const { return options_[static_cast<std::size_t>(option)]; }
  void SetOwn(ItemOption option, int32_t value) {
    options_[static_cast<std::size_t>(option)] = value;
  }
  const std::string& OwnString(ItemString option) const {
    return strings_[static_cast<std::size_t>(option)];
  }
  void SetOwnString(ItemString option, std::string value) {
    strings_[static_cast<std::size_t>(option)] = std::move(value);
  }

  // The value with inheritance, kUnset when no level of the tree sets it (the caller then uses the
  // application default).
  //  - plain options: the nearest ancestor-or-self value that is not kUnset;
  //  - PilotType: 1 when this item or any ancestor is forbidden, else the nearest explicit value;
  //  - a group flag: the supplying item's flag;
  //  - DLNoExt, NotDLNoExt: the supplying item's value; without a supplier the root's own value.
  int32_t Effective(ItemOption option) const;
  // The value this item would have if its own value were kUnset (what an option page shows for an
  // inherited option).
  int32_t Inherited(ItemOption option) const;
  // The first item from here towards the root whose flag of the group is set; null when none is.
  const ProjectItem* GroupSupplier(OptionGroup group) const;
  // A group string taken from the supplying item (even when empty there and set here); null when
  // no item sets the group's flag, so that the caller takes the application's.
  const std::string* EffectiveString(ItemString option) const;

  // Stores a patrol mark unless a forbidden ancestor decides it: the value is taken when the
  // effective PilotType is not forbidden or the item itself is the forbidden one. Returns whether
  // it was stored.
  bool SetPilotType(int32_t value);

  // Appends `child` as the last child. Refused (child freed, null returned) when this item is a
  // Record, which is always a leaf, or when the child is a root.
  ProjectItem* AppendChild(std::unique_ptr<ProjectItem> child);
  // Unlinks a childless item from its parent and siblings and hands it to the caller; null (and
  // nothing changes) for an item with children or without a parent. The item's own links stay.
  std::unique_ptr<ProjectItem> Detach();
  // Moves this item with its subtree to the end of `new_parent`'s children. Refused (false) for the
  // root, for a Record as the new parent, and for a new parent inside the moved subtree.
  bool MoveTo(ProjectItem* new_parent);
  // Frees every descendant, leaving this item childless.
  void DeleteDescendants();
  // Frees an item with its subtree after unlinking it; false (nothing changes) for a root.
  static bool DeleteItem(ProjectItem* item);

  // The titles from the root down to this item (a Record: to its parent), joined by "/"; a
  // missing title counts as empty.
  std::string FolderPath() const;

 private:
  void Unlink();

  Kind kind_;
  ProjectItem* next_ = nullptr;
  ProjectItem* prev_ = nullptr;
  ProjectItem* first_child_ = nullptr;
  // Kept so that appending a child costs the same however many the item has (a project file of
  // many items is read in time linear in its size).
  ProjectItem* last_child_ = nullptr;
  ProjectItem* parent_ = nullptr;
  std::optional<std::string> url_;
  std::optional<std::string> title_;
  std::optional<std::string> local_name_;
  uintptr_t view_handle_ = 0;
  std::array<int32_t, kItemOptionCount> options_;
  std::array<std::string, kItemStringCount> strings_;
};

}  // namespace qlm
