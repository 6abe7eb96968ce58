// The reply of a remote call: the call's own status, then its value.
#pragma once
#include <string>
#include <tuple>
#include <type_traits>

#include "Common/grammar_Tuple.h"

namespace qrn::grammar {

// Marks the grammars that carry a function's outcome.
struct GrammarFunctionSpecialCharacters {};

namespace impl {
// What a call returning R sends as its value: R itself, or the empty text for void.
template <class R>
using ReturnValueOf = std::conditional_t<std::is_void_v<R>, std::string, R>;
}  // namespace impl

// The outcome of one call of a function of type F returning R.
template <class F, class R>
class GrammarOfFunctionReturn : public GrammarOfType<std::tuple<qtl::status, impl::ReturnValueOf<R>>>,
                                public GrammarFunctionSpecialCharacters {
 public:
  using Value = impl::ReturnValueOf<R>;
};

}  // namespace qrn::grammar
