// The functors behind the remote-call names: each decodes its arguments,
// calls the bound operation and writes the outcome back as one reply.
#pragma once
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "Common/grammar_FunctionReturn.h"
#include "Common/grammar_Tuple.h"
#include "runtime/RemoteCallRegistry.h"
#include "runtime/Status.h"

namespace sys::server {

template <class F>
class ServerFunctor;

// Serves calls of a function of signature R(Args...). Not reentrant: the
// worker calls one functor at a time, and each call overwrites the outcome
// kept from the previous one.
template <class R, class... Args>
class ServerFunctor<std::function<R(Args...)>> : public RemoteCallRegistry::IFunctor {
 public:
  using Function = std::function<R(Args...)>;
  using Arguments = qrn::grammar::GrammarOfType<std::tuple<std::decay_t<Args>...>>;
  using Result = qrn::grammar::GrammarOfFunctionReturn<Function, R>;

  explicit ServerFunctor(Function function) : function_(std::move(function)) {}

  // A syntax error in `arguments` raises qtl::status_exception before the
  // operation runs, and nothing is written. The operation's failure
  // (qtl::status_exception or another std::exception) travels in the reply.
  // A failed write raises qtl::status_exception.
  void operator()(const std::string& arguments, sys::message::IWriter& writer) override {
    Arguments decoded;
    decoded.Decode(arguments);
    result_.value = std::make_tuple(qtl::ok_status(), typename Result::Value{});
    try {
      Invoke(decoded.value);
    } catch (const qtl::status_exception& e) {
      std::get<0>(result_.value) = e.get_status();
    } catch (const std::exception& e) {
      std::get<0>(result_.value) = QrnError::unexpected_exception(e.what());
    }
    std::string reply;
    result_.Encode(reply);
    qtl::status written = writer.Write(reply);
    if (!written.ok()) ThrowStatus(written, stamps::kReplyWrite.file, stamps::kReplyWrite.line);
  }

  std::string FailureReply(const qtl::status& failure) const override {
    Result reply;
    reply.value = std::make_tuple(failure, typename Result::Value{});
    std::string text;
    reply.Encode(text);
    return text;
  }

 private:
  // Values are moved out of the decoded tuple: it is not used again.
  template <class Tuple>
  void Invoke(Tuple& values) {
    if constexpr (std::is_void_v<R>) {
      std::apply(function_, std::move(values));
    } else {
      std::get<1>(result_.value) = std::apply(function_, std::move(values));
    }
  }

  Function function_;
  Result result_;
};

template <class Sig>
void RemoteCallRegistry::Register(const std::string& name, std::function<Sig> function) {
  Add(name, std::make_shared<ServerFunctor<std::function<Sig>>>(std::move(function)));
}

}  // namespace sys::server
