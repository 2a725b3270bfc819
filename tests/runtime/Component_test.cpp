// TComponent: ownership, names, free notification, loading and the full
// component name.
#include "runtime/Component.h"

#include <gtest/gtest.h>

#include "runtime/Exceptions.h"

namespace {

// Logs its own destruction and every removal it hears of; keeps one
// non-owning link that it clears on notification.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, const std::string& name, std::string* log)
      : TComponent(owner), m_log(log) {
    SetName(name);
  }
  ~Probe() override {
    Destroying();
    *m_log += "~" + Name() + " ";
  }
  void Link(TComponent* target) {
    m_link = target;
    if (target) target->FreeNotification(this);
  }
  TComponent* LinkTarget() const { return m_link; }
  int loadedCount = 0;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == TOperation::opRemove) {
      *m_log += Name() + ":" + c->Name() + " ";
      if (c == m_link) m_link = nullptr;
    }
  }
  void Loaded() override { ++loadedCount; }

 private:
  std::string* m_log;
  TComponent* m_link = nullptr;  // not owned; cleared in Notification()
};

TEST(TComponent, OwnerDestroysChildrenLastFirst) {
  std::string log;
  auto* form = new Probe(nullptr, "Form6", &log);
  auto* a = new Probe(form, "a", &log);
  new Probe(form, "b", &log);
  new Probe(a, "a1", &log);
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->Components(0), a);
  EXPECT_EQ(a->Owner(), form);
  delete form;
  // The owner's own destructor body runs first, then its children go, last
  // created first; the remaining components of the owner (a and, through
  // it, a1) hear of the one going.
  EXPECT_EQ(log, "~Form6 a1:b a:b ~b ~a ~a1 ");
}

TEST(TComponent, DeletingAChildUnregistersIt) {
  std::string log;
  Probe form(nullptr, "Form6", &log);
  auto* a = new Probe(&form, "a", &log);
  auto* b = new Probe(&form, "b", &log);
  delete a;
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0), b);
  EXPECT_EQ(form.FindComponent("A"), nullptr);
  EXPECT_EQ(form.FindComponent("B"), b);
}

TEST(TComponent, FreeNotificationClearsLinksInBothDirections) {
  std::string log;
  Probe form(nullptr, "Form6", &log);
  auto* source = new Probe(&form, "dsRoba", &log);
  auto* dataset = new Probe(&form, "Roba", &log);
  Probe outsider(nullptr, "outsider", &log);
  source->Link(dataset);
  outsider.Link(dataset);
  delete dataset;
  EXPECT_EQ(source->LinkTarget(), nullptr);
  EXPECT_EQ(outsider.LinkTarget(), nullptr);
  // A component that dies first leaves nothing dangling behind in the target.
  auto* other = new Probe(&form, "other", &log);
  {
    Probe watcher(nullptr, "watcher", &log);
    watcher.Link(other);
  }
  log.clear();
  delete other;  // must not notify the dead watcher
  EXPECT_EQ(log.find("watcher"), std::string::npos) << log;
  // Removing the notification stops it.
  auto* third = new Probe(&form, "third", &log);
  outsider.Link(third);
  third->RemoveFreeNotification(&outsider);
  log.clear();
  delete third;
  EXPECT_EQ(log.find("outsider"), std::string::npos) << log;
}

TEST(TComponent, FullComponentNameSkipsUnnamedOwners) {
  std::string log;
  Probe form(nullptr, "Form6", &log);
  auto* db = new Probe(&form, "pFIBDatabase", &log);
  EXPECT_EQ(db->FullComponentName(), "Form6.pFIBDatabase");
  auto* unnamed = new Probe(&form, "", &log);
  auto* inner = new Probe(unnamed, "qry", &log);
  EXPECT_EQ(inner->FullComponentName(), "Form6.qry");
  EXPECT_EQ(form.FullComponentName(), "Form6");
  Probe lone(nullptr, "", &log);
  EXPECT_EQ(lone.FullComponentName(), "");
}

TEST(TComponent, NamesAreIdentifiersUniqueWithinTheOwner) {
  std::string log;
  Probe form(nullptr, "Form6", &log);
  auto* a = new Probe(&form, "qryRoba", &log);
  auto* b = new Probe(&form, "", &log);
  try {
    b->SetName("QRYROBA");
    ADD_FAILURE() << "accepted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "A component named QRYROBA already exists");
  }
  try {
    b->SetName("1abc");
    ADD_FAILURE() << "accepted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "'1abc' is not a valid component name");
  }
  EXPECT_THROW(b->SetName("a.b"), Exception);
  EXPECT_NO_THROW(a->SetName("QryRoba"));  // renaming itself
  EXPECT_NO_THROW(b->SetName("_Internal_Transaction2"));
  EXPECT_EQ(form.FindComponent("qryroba"), a);
}

TEST(TComponent, LoadingRunsLoadedOnceAtTheEnd) {
  std::string log;
  Probe form(nullptr, "Form6", &log);
  auto* child = new Probe(&form, "child", &log);
  form.BeginLoading();
  EXPECT_TRUE(form.IsLoading());
  EXPECT_TRUE(child->IsLoading());
  form.EndLoading();
  EXPECT_FALSE(child->IsLoading());
  EXPECT_EQ(child->loadedCount, 1);
  EXPECT_EQ(form.loadedCount, 1);
  form.EndLoading();
  EXPECT_EQ(form.loadedCount, 1);
}

TEST(TComponent, DestroyingStateIsVisibleToTheOwnersChildren) {
  struct Child : TComponent {
    using TComponent::TComponent;
    bool ownerWasDestroying = false;
    ~Child() override {
      // The owner pointer is cleared before the owner deletes us; the flag
      // is observed through a captured pointer instead.
      if (owner) ownerWasDestroying = owner->IsDestroying();
      if (seen) *seen = ownerWasDestroying;
    }
    TComponent* owner = nullptr;
    bool* seen = nullptr;
  };
  bool seen = false;
  auto* form = new TComponent(nullptr);
  auto* child = new Child(form);
  child->owner = form;
  child->seen = &seen;
  delete form;
  EXPECT_TRUE(seen);
}

}  // namespace
