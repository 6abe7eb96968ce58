// The table of call names that the remote-call worker serves.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "runtime/Connection.h"
#include "runtime/Status.h"

namespace sys::server {

class RemoteCallRegistry {
 public:
  class IFunctor {
   public:
    virtual ~IFunctor() = default;
    // Serves one call: decodes `arguments`, runs the operation, writes one reply.
    // Raises qtl::status_exception for arguments of the wrong shape (nothing written).
    virtual void operator()(const std::string& arguments, sys::message::IWriter& writer) = 0;
    // The reply text for a call that failed before the operation ran: `failure`
    // as the status and the default value of the call's result.
    virtual std::string FailureReply(const qtl::status& failure) const = 0;
  };

  // Stores the functor under the name, replacing one of the same name.
  void Add(const std::string& name, std::shared_ptr<IFunctor> functor) { functors_[name] = std::move(functor); }
  // Null when the name is not registered.
  std::shared_ptr<IFunctor> Find(const std::string& name) const {
    auto found = functors_.find(name);
    return found == functors_.end() ? nullptr : found->second;
  }
  // Defined with the value grammar (Common/sys_server_RemoteCallServer.h).
  template <class Sig>
  void Register(const std::string& name, std::function<Sig> function);

 private:
  std::map<std::string, std::shared_ptr<IFunctor>> functors_;
};

}  // namespace sys::server
