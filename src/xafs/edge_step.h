#pragma once
// Normalisation of a measured absorption spectrum to its edge step: a
// straight line fitted below the edge, a polynomial above it, and the jump
// between the two at the core energy E0.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvern {

// Default ranges relative to E0 (eV); the upper end of the post-edge range
// defaults to the highest energy of the data.
constexpr double kDefaultPre1 = -150.0;
constexpr double kDefaultPre2 = -30.0;
constexpr double kDefaultNorm1 = 150.0;
// A post-edge range wider than this gets a quadratic by default, else a line.
constexpr double kQuadraticPostEdgeWidth = 300.0;

// What the user asked for; an absent value takes its default.
struct EdgeStepRequest {
  double e0 = 0.0;
  std::optional<double> pre1, pre2, norm1, norm2;  // relative to E0 (eV)
  std::optional<int> nnorm;                        // 0, 1 or 2
};

// The fit as it was made: the ranges limited to the data (relative to E0),
// the lines, and the step.
struct EdgeStepFit {
  double e0 = 0.0;
  double pre1 = 0.0, pre2 = 0.0, norm1 = 0.0, norm2 = 0.0;
  int nnorm = 1;
  double pre[2] = {0.0, 0.0};        // pre(E) = pre[0] + pre[1] (E - E0)
  double post[3] = {0.0, 0.0, 0.0};  // post(E) = post[0] + post[1] (E - E0) + post[2] (E - E0)^2
  double step = 0.0;                 // post(E0) - pre(E0)

  double pre_at(double e) const { return pre[0] + pre[1] * (e - e0); }
  double post_at(double e) const {
    const double x = e - e0;
    return post[0] + x * (post[1] + x * post[2]);
  }
};

// Either the fit or the reason there is none (lines ended by "\r\n").
struct EdgeStepResult {
  std::optional<EdgeStepFit> fit;
  std::string why;
};

// Fits the pre- and post-edge over `n` rows of (energy, absorption), in any
// order. Each range is limited to the energies of the data; a range that
// then holds too few distinct energies for its polynomial, ranges whose
// ends are reversed, or a step that is not above 0 give no fit.
EdgeStepResult fit_edge_step(const double* rows2, std::size_t n, const EdgeStepRequest& request);

// The fit the load asks for: at E0 `e0`, or, without one, at the steepest
// rise of the data as "Edge from Data" finds it (request.e0 is replaced);
// without such a rise no fit, and the reason says to type E0.
EdgeStepResult fit_edge_step_at(const double* rows2, std::size_t n, std::optional<double> e0,
                                EdgeStepRequest request);

// The absorption of `rows2` normalised in place: (mu - pre(E)) / step, and
// with `flatten` above E0 1 + (mu - post(E)) / step, which takes the
// curvature of the post-edge out while keeping the value at E0.
void normalise_to_step(double* rows2, std::size_t n, const EdgeStepFit& fit, bool flatten);

// A number typed into a box: the whole text, blanks around it allowed;
// none for an empty box. `bad` is set when the text is not a number.
std::optional<double> box_number(std::string_view text, bool& bad);

}  // namespace talvern
