#include "automation/libreoffice/WriterServer.h"

#include <algorithm>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XTypeDetection.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XLoadable.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/ucb/UniversalContentBroker.hpp>
#include <com/sun/star/ucb/XContentProviderManager.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include "automation/OleError.h"
#include "automation/libreoffice/OfficeProcess.h"
#include "automation/libreoffice/SilentInteraction.h"
#include "automation/libreoffice/SourceLink.h"
#include "automation/libreoffice/TextExport.h"
#include "automation/libreoffice/ViewNeed.h"
#include "platform/FileSystem.h"

namespace automation::lo {
namespace {

using namespace css::uno;
using css::beans::PropertyValue;

constexpr auto kConnectBound = std::chrono::seconds(30);

Sequence<PropertyValue> Properties(const std::vector<std::pair<std::string, Any>>& values) {
  Sequence<PropertyValue> seq(static_cast<sal_Int32>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) {
    seq.getArray()[i].Name = ToOU(values[i].first);
    seq.getArray()[i].Value = values[i].second;
  }
  return seq;
}

void CloseQuietly(const Reference<css::lang::XComponent>& component) {
  try {
    Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
    if (closeable.is())
      closeable->close(true);
    else if (component.is())
      component->dispose();
  } catch (...) {
    // A document that refuses to close goes with its office.
  }
}

// A node of the office's configuration, for reading or (forUpdate) for changing and committing.
Reference<css::uno::XInterface> ConfigurationNode(UnoSession& session, const char* path, bool forUpdate) {
  Reference<css::lang::XMultiServiceFactory> provider =
      css::configuration::theDefaultProvider::get(session.Context());
  Sequence<Any> args(1);
  args.getArray()[0] <<= PropertyValue("nodepath", 0, Any(OUString::createFromAscii(path)),
                                       css::beans::PropertyState_DIRECT_VALUE);
  return provider->createInstanceWithArguments(
      forUpdate ? OUString("com.sun.star.configuration.ConfigurationUpdateAccess")
                : OUString("com.sun.star.configuration.ConfigurationAccess"),
      args);
}

// A document whose fields cannot be read is taken as it stands: the text is still there.
ViewNeed ViewNeedOrNone(const Reference<css::lang::XComponent>& component) {
  try {
    return ViewNeedOf(component);
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::Exception&) {
    return ViewNeed::None;
  }
}

// A layout that cannot be finished leaves the pages the office has laid out so far.
void LayOutQuietly(const Reference<css::lang::XComponent>& component) {
  try {
    CompleteLayout(component);
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::Exception&) {
  }
}

// The filter the model was loaded with, as the model itself records it.
std::string FilterUsed(const Reference<css::lang::XComponent>& component) {
  try {
    Reference<css::frame::XModel> model(component, UNO_QUERY);
    if (!model.is()) return std::string();
    for (const auto& p : model->getArgs()) {
      OUString name;
      if (p.Name == "FilterName" && (p.Value >>= name)) return FromOU(name);
    }
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::Exception&) {
  }
  return std::string();
}

}  // namespace

WriterServer::WriterServer() {
  office_ = std::make_shared<OfficeProcess>();
  session_ = std::make_shared<UnoSession>(*office_, kConnectBound);
  DisableLockFiles();
}

void WriterServer::DisableLockFiles() {
  // An office that opens a document for editing leaves a ".~lock.NAME#" file beside it, and a
  // killed office never removes it: a converter must not litter the user's folders, nor make
  // a later run see other files than the user put there.
  try {
    Reference<css::beans::XPropertySet> misc(
        ConfigurationNode(*session_, "/org.openoffice.Office.Common/Misc", true), UNO_QUERY_THROW);
    misc->setPropertyValue("UseLocking", Any(false));
    Reference<css::util::XChangesBatch>(misc, UNO_QUERY_THROW)->commitChanges();
  } catch (const css::uno::Exception&) {
    // Conversions still work; only the lock files would remain possible.
  }
}

WriterServer::~WriterServer() {
  // Released without Quit (the owner dropped it, or an error unwound it): end the office all
  // the same, with a shorter grace.
  Shutdown(std::chrono::seconds(3));
}

bool WriterServer::IsAlive() const {
  std::lock_guard lock(mutex_);
  if (aborted_ || quit_ || lost_ || !office_ || !session_) return false;
  return !session_->Disconnected() && office_->IsRunning();
}

std::string WriterServer::GoneMessage() const {
  std::shared_ptr<OfficeProcess> office;
  {
    std::lock_guard lock(mutex_);
    if (quit_) return "The LibreOffice server has quit";
    if (aborted_) return "The LibreOffice server was stopped";
    office = office_;
  }
  // How it ended tells a crash from the out-of-memory killer or a clean exit. A dead office's
  // pipe closes a moment before it can be reaped, hence the short wait.
  std::optional<platform::ProcessExit> exit = office ? office->WaitFor(std::chrono::milliseconds(500)) : std::nullopt;
  return "The LibreOffice server has ended unexpectedly" + (exit ? " (" + platform::Describe(*exit) + ")" : std::string());
}

void WriterServer::MarkLost() {
  std::lock_guard lock(mutex_);
  lost_ = true;
}

void WriterServer::Abort() {
  std::shared_ptr<OfficeProcess> office;
  std::shared_ptr<UnoSession> session;
  {
    std::lock_guard lock(mutex_);
    if (!quit_) aborted_ = true;
    office = office_;
    session = session_;
  }
  // Kill first: a hung office must not get the chance to answer anything more.
  if (office) office->Kill();
  if (session) session->Dispose();
}

void WriterServer::Quit() { Shutdown(std::chrono::seconds(10)); }

void WriterServer::Shutdown(std::chrono::milliseconds grace) {
  std::shared_ptr<OfficeProcess> office;
  std::shared_ptr<UnoSession> session;
  std::vector<DocumentPtr> documents;
  bool polite;
  {
    std::lock_guard lock(mutex_);
    polite = !aborted_ && !quit_;
    quit_ = true;
    office = office_;
    session = session_;
    documents.swap(documents_);
  }
  if (!office) return;
  if (polite && session && !session->Disconnected() && office->IsRunning()) {
    for (auto& doc : documents) {
      if (!doc->closed) CloseQuietly(doc->component);
      doc->closed = true;
    }
    try {
      session->Desktop()->terminate();
    } catch (...) {
      // The office may drop the connection while it ends; the wait below decides.
    }
  }
  for (auto& doc : documents) {
    doc->component.clear();
    doc->link.reset();
  }
  if (!office->WaitFor(polite ? grace : std::chrono::milliseconds(0))) office->Kill();
  if (session) session->Dispose();
  {
    std::lock_guard lock(mutex_);
    session_.reset();
    office_.reset();
  }
  // The last reference normally goes here: the session before the process, and the process
  // object reaps the office and removes its profile.
  session.reset();
  office.reset();
}

std::string WriterServer::Version() {
  auto session = session_;
  Reference<css::container::XNameAccess> product(
      ConfigurationNode(*session, "/org.openoffice.Setup/Product", false), UNO_QUERY_THROW);
  OUString version;
  product->getByName("ooSetupVersion") >>= version;
  return FromOU(version);
}

std::string WriterServer::Setting(const std::string& nodePath, const std::string& name) {
  auto session = session_;
  Reference<css::container::XNameAccess> node(ConfigurationNode(*session, nodePath.c_str(), false), UNO_QUERY_THROW);
  if (!node->hasByName(ToOU(name))) return std::string();
  Any value = node->getByName(ToOU(name));
  OUString text;
  if (value >>= text) return FromOU(text);
  bool flag = false;
  if (value.getValueTypeClass() == TypeClass_BOOLEAN && (value >>= flag)) return flag ? "true" : "false";
  sal_Int64 number = 0;
  if (value >>= number) return std::to_string(number);
  return std::string();
}

bool WriterServer::Reaches(const std::string& scheme) {
  auto session = session_;
  Reference<css::ucb::XContentProviderManager> broker(
      css::ucb::UniversalContentBroker::create(session->Context()), UNO_QUERY_THROW);
  return broker->queryContentProvider(ToOU(scheme + "://example.invalid/")).is();
}

bool WriterServer::HasFilter(const std::string& name) {
  auto session = session_;
  auto ctx = session->Context();
  Reference<css::container::XNameAccess> filters(
      ctx->getServiceManager()->createInstanceWithContext("com.sun.star.document.FilterFactory", ctx),
      UNO_QUERY_THROW);
  return filters->hasByName(ToOU(name));
}

DocumentPtr WriterServer::Load(const std::string& url, const std::vector<std::pair<std::string, Any>>& extra,
                               std::shared_ptr<std::atomic<bool>> passwordAsked) {
  std::vector<std::pair<std::string, Any>> props = {
      {"Hidden", Any(true)},
      {"MacroExecutionMode", Any(sal_Int16(0))},  // NEVER_EXECUTE
      {"UpdateDocMode", Any(sal_Int16(0))},       // NO_UPDATE
      {"InteractionHandler", Any(MakeSilentInteractionHandler(std::move(passwordAsked)))},
  };
  props.insert(props.end(), extra.begin(), extra.end());
  auto doc = std::make_shared<WriterDocument>();
  doc->url = url;
  doc->scratch = office_->ProfileFolder();
  doc->loadProperties = props;
  std::string filter;
  if (url.rfind("file://", 0) == 0) {
    try {
      filter = WriterFilterFor(url);
    } catch (const css::lang::DisposedException&) {
      throw;
    } catch (const css::uno::Exception&) {
      // Detection that fails leaves the choice to the office's own loader.
    }
  }
  ViewNeed need = ViewNeed::View;
  if (!filter.empty()) {
    doc->component = LoadWithoutView(url, filter, props);
    doc->viewless = true;
    // A file the model cannot read gets no second try with a view: it is the same file.
    need = doc->component.is() ? ViewNeedOrNone(doc->component) : ViewNeed::None;
    if (need != ViewNeed::None) CloseQuietly(doc->component);
  }
  if (need != ViewNeed::None) {
    doc->component = LoadWithView(url, props);
    doc->viewless = false;
    if (doc->component.is() && need == ViewNeed::Layout) LayOutQuietly(doc->component);
  }
  if (!doc->component.is()) return nullptr;
  doc->filter = FilterUsed(doc->component);
  std::lock_guard lock(mutex_);
  documents_.push_back(doc);
  return doc;
}

Reference<css::lang::XComponent> WriterServer::LoadWithView(
    const std::string& url, const std::vector<std::pair<std::string, Any>>& props) {
  Reference<css::frame::XComponentLoader> loader(session_->Desktop(), UNO_QUERY_THROW);
  return loader->loadComponentFromURL(ToOU(url), "_blank", 0, Properties(props));
}

std::string WriterServer::WriterFilterFor(const std::string& url) {
  auto ctx = session_->Context();
  Reference<css::document::XTypeDetection> detection(
      ctx->getServiceManager()->createInstanceWithContext("com.sun.star.document.TypeDetection", ctx),
      UNO_QUERY_THROW);
  Sequence<PropertyValue> descriptor(1);
  descriptor.getArray()[0] = PropertyValue("URL", 0, Any(ToOU(url)), css::beans::PropertyState_DIRECT_VALUE);
  if (detection->queryTypeByDescriptor(descriptor, true).isEmpty()) return std::string();
  OUString filter;
  for (const auto& p : descriptor)
    if (p.Name == "FilterName") p.Value >>= filter;
  if (filter.isEmpty()) return std::string();
  // Only a filter of Writer's own text documents can fill the model created below.
  Reference<css::container::XNameAccess> filters(
      ctx->getServiceManager()->createInstanceWithContext("com.sun.star.document.FilterFactory", ctx),
      UNO_QUERY_THROW);
  Sequence<PropertyValue> description;
  filters->getByName(filter) >>= description;
  for (const auto& p : description) {
    OUString service;
    if (p.Name == "DocumentService" && (p.Value >>= service) && service == "com.sun.star.text.TextDocument")
      return FromOU(filter);
  }
  return std::string();
}

Reference<css::lang::XComponent> WriterServer::LoadWithoutView(
    const std::string& url, const std::string& filter, std::vector<std::pair<std::string, Any>> props) {
  // A document with a view is laid out by the office's main loop between our calls, which for
  // a long document costs seconds that a text export never needed. A model alone has no
  // layout; a view is added only when pages or the cursor are asked for (WithView).
  props.emplace_back("URL", Any(ToOU(url)));
  props.emplace_back("FilterName", Any(ToOU(filter)));
  auto ctx = session_->Context();
  Reference<css::uno::XInterface> model =
      ctx->getServiceManager()->createInstanceWithContext("com.sun.star.text.TextDocument", ctx);
  Reference<css::frame::XLoadable> loadable(model, UNO_QUERY_THROW);
  try {
    loadable->load(Properties(props));
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::RuntimeException&) {
    if (!IsAlive()) throw;
    CloseQuietly(Reference<css::lang::XComponent>(model, UNO_QUERY));
    return nullptr;
  } catch (const css::uno::Exception&) {
    // A damaged file, a missing or wrong password: the office says no more than that.
    CloseQuietly(Reference<css::lang::XComponent>(model, UNO_QUERY));
    return nullptr;
  }
  return Reference<css::lang::XComponent>(model, UNO_QUERY);
}

DocumentPtr WriterServer::WithView(const DocumentPtr& doc) {
  if (!doc->viewless || doc->closed) return doc;
  Reference<css::lang::XComponent> viewed = LoadWithView(doc->url, doc->loadProperties);
  if (!viewed.is()) throw EOleError("The document could not be shown for page layout");
  CloseQuietly(doc->component);
  doc->component = viewed;
  doc->viewless = false;
  return doc;
}

DocumentPtr WriterServer::Open(const std::string& path, bool readOnly, const std::optional<std::string>& password,
                               const std::string& addressedAs) {
  const bool isUrl = LooksLikeUrl(path);
  if (path.empty()) throw EOleError("The document could not be opened: no file name was given");
  if (!isUrl && !platform::FileExists(path))
    throw EOleError("The document could not be opened (file not found)");
  std::vector<std::pair<std::string, Any>> extra;
  if (readOnly) extra.emplace_back("ReadOnly", Any(true));
  if (password) extra.emplace_back("Password", Any(ToOU(*password)));
  if (!addressedAs.empty()) extra.emplace_back("DocumentBaseURL", Any(ToOU(OfficeUrl(addressedAs))));
  std::shared_ptr<SourceLink> link;
  if (!isUrl && SourceLink::Needed(path)) link = std::make_shared<SourceLink>(path);
  DocumentPtr doc;
  auto passwordAsked = std::make_shared<std::atomic<bool>>(false);
  try {
    doc = Load(OfficeUrl(link ? link->Path() : path), extra, passwordAsked);
  } catch (const css::lang::IllegalArgumentException&) {
    // The office's own text here ("type detection failed" and the like) tells a user nothing.
    if (!IsAlive()) throw;
    throw EOleError("The document could not be opened (unknown or unreadable format)",
                    core::reason::kNotADocument);
  }
  if (!doc) {
    if (!IsAlive()) throw EOleServerGone(GoneMessage());
    // The load itself answers a protected document, a wrong password and a damaged file
    // alike, with no document and no reason; only the question the office asked on the way
    // tells them apart. Messages name no file: the log names the source already, and equal
    // failures should read alike in the failure report.
    // A password given is tried without a question, so a wrong one looks like damage: a
    // second load without it tells whether the office wants one at all.
    if (password && !passwordAsked->load()) {
      std::vector<std::pair<std::string, Any>> bare;
      if (readOnly) bare.emplace_back("ReadOnly", Any(true));
      try {
        if (DocumentPtr again = Load(OfficeUrl(link ? link->Path() : path), bare, passwordAsked)) Close(again, false);
      } catch (const css::lang::DisposedException&) {
        throw;
      } catch (const css::uno::Exception&) {
      }
    }
    if (passwordAsked->load())
      throw EOleError(std::string("The document could not be opened") +
                          (password ? " (wrong password)" : " (it is password-protected)"),
                      core::reason::kPassword);
    throw EOleError("The document could not be opened (it is damaged)", core::reason::kDamaged);
  }
  doc->path = path;
  doc->link = link;
  return doc;
}

DocumentPtr WriterServer::Add() {
  DocumentPtr doc = Load("private:factory/swriter", {});
  if (!doc) throw EOleError("LibreOffice could not create a new document");
  return doc;
}

void WriterServer::Close(const DocumentPtr& doc, bool saveChanges) {
  if (!doc || doc->closed) return;
  {
    std::lock_guard lock(mutex_);
    documents_.erase(std::remove(documents_.begin(), documents_.end(), doc), documents_.end());
  }
  doc->closed = true;
  Reference<css::lang::XComponent> component = doc->component;
  doc->component.clear();
  if (saveChanges) {
    Reference<css::frame::XStorable> storable(component, UNO_QUERY);
    if (storable.is() && storable->hasLocation() && !storable->isReadonly()) storable->store();
  }
  Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
  if (closeable.is())
    closeable->close(true);
  else if (component.is())
    component->dispose();
  doc->link.reset();
}

DocumentPtr WriterServer::Active() {
  std::lock_guard lock(mutex_);
  if (documents_.empty()) throw EOleError("This command is not available because no document is open");
  return documents_.back();
}

DocumentPtr WriterServer::ActiveWithView() { return WithView(Active()); }

size_t WriterServer::DocumentCount() {
  std::lock_guard lock(mutex_);
  return documents_.size();
}

int WriterServer::OfficePid() {
  std::lock_guard lock(mutex_);
  return office_ ? office_->Pid() : -1;
}

}  // namespace automation::lo
