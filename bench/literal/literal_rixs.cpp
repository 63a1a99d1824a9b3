// The RIXS sum written out as it reads, as a standalone program: the yard-
// stick the whole-process benchmark (bench_process.cpp) times talvern-cli
// against. It reads the four work-space files with plain stream extraction
// into fixed arrays, evaluates every term of every Lorentzian with its own
// divisions, and writes Calculated_RIXS.DAT with the default formatting of a
// text stream. Nothing here is tuned; it is built with -O2.
//
// Usage: talvern_literal_rixs WORKSPACE_DIR OMEGA [OUTPUT_FILE]
// (the output defaults to WORKSPACE_DIR/Calculated_RIXS.DAT)

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr int kSelectiveCapacity = 5000;
constexpr int kConvCapacity = 2000;
constexpr int kGridCapacity = 5000;

// One slot more than the capacity for the last, failing extraction attempt.
double E[kSelectiveCapacity + 1], Y1[kSelectiveCapacity + 1], Y2[kSelectiveCapacity + 1];
double e_conv[kConvCapacity + 1], mu_conv[kConvCapacity + 1];

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: talvern_literal_rixs WORKSPACE_DIR OMEGA [OUTPUT_FILE]\n";
    return 2;
  }
  const std::string dir = argv[1];
  const double omega = std::atof(argv[2]);
  const std::string output = argc > 3 ? argv[3] : dir + "/Calculated_RIXS.DAT";

  std::ifstream sel_file(dir + "/SelectiveXAFS_for_RIXS.DAT");
  std::ifstream conv_file(dir + "/ConvXAFS_Norm_Spectrum.DAT");
  std::ifstream par_file(dir + "/RIXS_Calculation_Parameters.DAT");
  std::ifstream lor_file(dir + "/RIXS_Calculation_Lorentz.DAT");
  std::ofstream out(output, std::ios::trunc);

  // Row count rule: extraction attempts until the end of the file, minus one.
  int n = 0;
  while (sel_file && !sel_file.eof() && n <= kSelectiveCapacity) {
    sel_file >> E[n] >> Y1[n] >> Y2[n];
    ++n;
  }
  n = n > 0 ? n - 1 : 0;
  int m = 0;
  while (conv_file && !conv_file.eof() && m <= kConvCapacity) {
    conv_file >> e_conv[m] >> mu_conv[m];
    ++m;
  }
  m = m > 0 ? m - 1 : 0;

  double mu = 1.0;
  for (int j = 0; j + 1 < m; ++j) {
    if (omega - e_conv[j] < 0.5) {
      mu = mu_conv[j] + (mu_conv[j + 1] - mu_conv[j]) * (omega - e_conv[j]) /
                            (e_conv[j + 1] - e_conv[j]);
      break;
    }
  }

  double gamma_fwhm, e0, w_start, w_end, w_step, kappa, scale;
  par_file >> gamma_fwhm >> e0 >> w_start >> w_end >> w_step >> kappa >> scale;
  int flag;
  double W[4], P[4], H[4];
  lor_file >> flag;
  for (double& v : W) lor_file >> v;
  for (double& v : P) lor_file >> v;
  for (double& v : H) lor_file >> v;
  if (!par_file || !lor_file || n < 2) return 1;

  const double gamma = 0.5 * gamma_fwhm;
  const double h = E[1] - E[0];
  const double ac = 1.0 / (1.0 + kappa * mu);
  const double M[4] = {P[0], P[1] + (P[1] - P[0]), P[2], P[3] + (P[3] - P[2])};

  int points = 0;
  for (double w = w_start; w <= w_end && points < kGridCapacity; w += w_step, ++points) {
    double T[4];
    for (int X = 0; X < 4; ++X) {
      double sum = 0;
      for (int i = 0; i < n; ++i) {
        const double weight = i == 0 ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0);
        const double C = (w / omega) * E[i] / ((E[i] - omega) * (E[i] - omega) + gamma * gamma);
        const double arg = E[i] - omega + w - P[X];
        const double F = H[X] / ((W[X] / 2) * (W[X] / 2) + arg * arg) * M[X];
        const double Y = X < 2 ? Y1[i] : Y2[i];
        sum += weight * C * F * Y;
      }
      T[X] = (h / 3) * ac * sum;
    }
    double I, I1, I2;
    if (flag == 1) {
      I1 = scale * (T[0] + T[1]);
      I2 = scale * (T[2] + T[3]);
      I = I1 + I2;
    } else {
      I = scale * (T[0] + T[1] + T[2] + T[3]);
      I1 = I;
      I2 = 0;
    }
    out << w << "\t" << I << "\t" << I1 << "\t" << I2 << "\n";
  }
  return out ? 0 : 1;
}
