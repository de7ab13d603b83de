// fmt compiled once, for the MinGW build: Debian's libfmt is a Linux
// library, and header-only fmt compiles its whole implementation into every
// file of bench_compare, which more than doubled the Windows build's time.
// The instantiations are those fmt's own headers declare extern when it is
// not header-only.
#include <fmt/format-inl.h>

FMT_BEGIN_NAMESPACE
namespace detail {
template FMT_API auto thousands_sep_impl<char>(locale_ref) -> thousands_sep_result<char>;
template FMT_API auto thousands_sep_impl<wchar_t>(locale_ref) -> thousands_sep_result<wchar_t>;
template FMT_API auto decimal_point_impl(locale_ref) -> char;
template FMT_API auto decimal_point_impl(locale_ref) -> wchar_t;
}  // namespace detail
FMT_END_NAMESPACE
