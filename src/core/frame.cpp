// Frames of R^m, with Eigen's QR, SVD and Schur decompositions in double
// precision; frames themselves are kept in floats, as GL takes them.
#include "core/frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <Eigen/Dense>

namespace {

using Rows = Eigen::Matrix<double, 4, Eigen::Dynamic>;
using Square = Eigen::Matrix4d;

Rows __rows_frame(const Frame* frame)
{
    Rows rows(4, frame->dim);
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < frame->dim; k++)
            rows(i, k) = frame->rows[i][k];
    return rows;
}

// Past dim the rows hold 0, so that equal frames compare equal bytes.
void __store_frame(const Rows& rows, Frame* frame)
{
    frame->dim = static_cast<uint8_t>(rows.cols());
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < max_dim_frame; k++)
            frame->rows[i][k] = k < frame->dim ? static_cast<float>(rows(i, k)) : 0.0f;
}

// The orthonormal rows nearest in the sense of Gram-Schmidt: the QR of the
// transpose, signed so that each row keeps its direction. Returns false
// when the rows span fewer than four directions.
bool __orthonormal_frame(Rows* rows)
{
    Eigen::HouseholderQR<Eigen::MatrixXd> qr(rows->transpose());
    Eigen::MatrixXd r = qr.matrixQR().topRows(4).triangularView<Eigen::Upper>();
    Eigen::MatrixXd q = qr.householderQ() * Eigen::MatrixXd::Identity(rows->cols(), 4);
    for (int i = 0; i < 4; i++) {
        if (!(std::fabs(r(i, i)) > 1e-9))
            return false;
        if (r(i, i) < 0)
            q.col(i) = -q.col(i);
    }
    *rows = q.transpose();
    return true;
}

// A generator of our own, splitmix64, so that a seed draws the same numbers
// wherever the viewer runs.
uint64_t __next_frame(uint64_t* state)
{
    uint64_t z = (*state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// A uniform number in (0, 1].
double __uniform_frame(uint64_t* state)
{
    return static_cast<double>((__next_frame(state) >> 11) + 1) / 9007199254740992.0;
}

} // namespace

void choice_frame(const uint8_t show[4], uint8_t dim, Frame* frame)
{
    frame->dim = dim;
    for (int i = 0; i < 4; i++) {
        std::fill(frame->rows[i], frame->rows[i] + max_dim_frame, 0.0f);
        frame->rows[i][show[i]] = 1.0f;
    }
}

void turn_frame(Frame* frame, int a, int b, float angle)
{
    double c = std::cos(static_cast<double>(angle)), s = std::sin(static_cast<double>(angle));
    for (float* row : frame->rows) {
        double x = row[a], y = row[b];
        row[a] = static_cast<float>(x * c - y * s);
        row[b] = static_cast<float>(x * s + y * c);
    }
}

void compose_frame(const float* turn4, Frame* frame)
{
    Square t;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            t(i, j) = turn4[4 * j + i];
    __store_frame(t * __rows_frame(frame), frame);
}

bool reduce_frame(const Frame* frame, uint8_t show[4], float* turn4)
{
    // The coordinates the frame reads at all: four of them, and it is a 4-D
    // turn of their choice. A turn kept as a float is exact to 1e-7.
    uint8_t used[4];
    int count = 0;
    for (int k = 0; k < frame->dim; k++) {
        double column = 0.0;
        for (int i = 0; i < 4; i++)
            column += static_cast<double>(frame->rows[i][k]) * frame->rows[i][k];
        if (column > 1e-12) {
            if (count == 4)
                return false;
            used[count++] = static_cast<uint8_t>(k);
        }
    }
    if (count != 4)
        return false;
    // The choice on show keeps its order when it is the same four.
    bool same = std::is_permutation(used, used + 4, show);
    if (!same)
        std::copy(used, used + 4, show);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            turn4[4 * j + i] = frame->rows[i][show[j]];
    return true;
}

float error_frame(const Frame* frame)
{
    Rows rows = __rows_frame(frame);
    return static_cast<float>((rows * rows.transpose() - Square::Identity()).cwiseAbs().maxCoeff());
}

int orthonormalise_frame(Frame* frame)
{
    Rows rows = __rows_frame(frame);
    if (frame->dim < 4 || !__orthonormal_frame(&rows))
        return 0;
    __store_frame(rows, frame);
    return 1;
}

void random_frame(uint64_t* state, uint8_t dim, Frame* frame)
{
    // Four orthonormal rows need four coordinates.
    if (dim < 4) {
        *frame = {};
        frame->dim = dim;
        return;
    }
    Rows rows(4, dim);
    do {
        // Gaussian entries, by Box and Muller, give a plane uniform over all.
        for (int k = 0; k < 4 * dim; k += 2) {
            double radius = std::sqrt(-2.0 * std::log(__uniform_frame(state)));
            double turn = 2.0 * M_PI * __uniform_frame(state);
            rows(k % 4, k / 4) = radius * std::cos(turn);
            rows((k + 1) % 4, (k + 1) / 4) = radius * std::sin(turn);
        }
    } while (!__orthonormal_frame(&rows));
    __store_frame(rows, frame);
}

void pull_frame(Frame* frame, int k, const float* column)
{
    // The 4-plane and one direction out of it, in which e_k lies: within
    // that 5-space, the turn in the plane of e_k's place and the place asked
    // for moves the frame least (Cook and Buja's manual tour). Of R^4 there
    // is no direction out, and every shown direction is a unit long.
    int m = frame->dim;
    Eigen::MatrixXd rows = __rows_frame(frame);
    Eigen::VectorXd wanted(5), at(5);
    wanted << column[0], column[1], column[2], column[3], 0.0;
    at << rows.col(k), 0.0;
    Eigen::MatrixXd space(5, m);
    space.topRows(4) = rows;
    space.row(4).setZero();
    if (m > 4) {
        // Where e_k is in the plane, any direction out of it will do: that
        // of the coordinate shown shortest, whose part out is the longest.
        Eigen::Index j = k;
        if (rows.col(k).squaredNorm() > 1.0 - 1e-9)
            rows.colwise().squaredNorm().minCoeff(&j);
        Eigen::VectorXd direction = -rows.transpose() * rows.col(j);
        direction(j) += 1.0;
        space.row(4) = direction.normalized().transpose();
        at(4) = space(4, k);
    }
    double length = wanted.norm();
    if (m == 4 && length > 0.0)
        wanted /= length;
    else if (length > 1.0)
        wanted /= length;
    if (m > 4)
        wanted(4) = std::sqrt(std::max(0.0, 1.0 - wanted.squaredNorm()));
    // The turn that takes the unit at to the unit wanted in their plane;
    // none where the two are opposite, and no plane to turn in.
    double along = at.dot(wanted);
    if (!std::isfinite(along) || length == 0.0 || along < -1.0 + 1e-9)
        return;
    Eigen::MatrixXd turn = Eigen::MatrixXd::Identity(5, 5) - (at + wanted) * (at + wanted).transpose() / (1.0 + along)
        + 2.0 * wanted * at.transpose();
    __store_frame((turn * space).topRows(4), frame);
}

float reach_frame(const Frame* frame, const float* coords, uint64_t count)
{
    double largest = 0.0;
    int m = frame->dim;
    for (uint64_t v = 0; v < count; v++) {
        const float* c = coords + v * static_cast<uint64_t>(m);
        double length = 0.0;
        for (const float* row : frame->rows) {
            double shown = 0.0;
            for (int k = 0; k < m; k++)
                shown += static_cast<double>(row[k]) * c[k];
            length += shown * shown;
        }
        // NaN compares false: vertices that are not finite do not count.
        if (length > largest && std::isfinite(length))
            largest = length;
    }
    return static_cast<float>(std::sqrt(largest));
}

float reach_choice_frame(const uint8_t show[4], uint8_t dim, const float* coords, uint64_t count)
{
    double largest = 0.0;
    for (uint64_t v = 0; v < count; v++) {
        const float* c = coords + v * dim;
        double length = 0.0;
        for (int k = 0; k < 4; k++)
            length += static_cast<double>(c[show[k]]) * c[show[k]];
        if (length > largest && std::isfinite(length))
            largest = length;
    }
    return static_cast<float>(std::sqrt(largest));
}

float extent_frame(const float* weights, int dim, const float* coords, uint64_t count)
{
    double largest = 0.0;
    for (uint64_t v = 0; v < count; v++) {
        const float* c = coords + v * static_cast<uint64_t>(dim);
        double along = 0.0;
        for (int k = 0; k < dim; k++)
            along += static_cast<double>(weights[k]) * c[k];
        along = std::fabs(along);
        if (along > largest && std::isfinite(along))
            largest = along;
    }
    return static_cast<float>(largest);
}

void angles_frame(const Frame* a, const Frame* b, double* angles)
{
    Eigen::JacobiSVD<Square> svd(__rows_frame(a) * __rows_frame(b).transpose());
    // Singular values come largest first: the smallest angle first.
    for (int i = 0; i < 4; i++)
        angles[3 - i] = std::acos(std::clamp(svd.singularValues()(i), 0.0, 1.0));
}

int start_geodesic_frame(const Frame* a, const Frame* b, Geodesic* path)
{
    int m = a->dim;
    Rows from = __rows_frame(a), to = __rows_frame(b);
    Eigen::JacobiSVD<Square> svd(from * to.transpose(), Eigen::ComputeFullU | Eigen::ComputeFullV);
    Square u = svd.matrixU(), v = svd.matrixV();
    Eigen::Vector4d cosines = svd.singularValues();
    // The turn within the plane, C = V U^T, must be a rotation to be walked.
    // A sign of the SVD that multiplies nothing is free; else the target's
    // last row goes the other way, which leaves its plane as it was.
    if ((v * u.transpose()).determinant() < 0) {
        if (cosines(3) < 1e-9) {
            v.col(3) = -v.col(3);
        } else {
            to.row(3) = -to.row(3);
            v.row(3) = -v.row(3);
        }
    }
    Rows ga = u.transpose() * from, gz = v.transpose() * to;
    path->dim = static_cast<uint8_t>(m);
    path->from = *a;
    __store_frame(to, &path->to);
    path->angle = 0.0;
    for (int i = 0; i < 4; i++) {
        double c = std::clamp(cosines(i), 0.0, 1.0), s = std::sqrt(1.0 - c * c);
        path->tau[i] = std::acos(c);
        path->angle = std::max(path->angle, path->tau[i]);
        for (int k = 0; k < m; k++) {
            path->ga[i][k] = ga(i, k);
            path->gz[i][k] = s > 1e-9 ? (gz(i, k) - c * ga(i, k)) / s : 0.0;
        }
    }
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            path->u[i][j] = u(i, j);

    // The rotation C in its invariant planes: 2 x 2 blocks of the real Schur
    // form, and the pairs of eigenvalues +1 or -1 made into turns of 0 or pi.
    Square c = v * u.transpose();
    Eigen::RealSchur<Square> schur(c);
    const Square& t = schur.matrixT();
    int order[4], pairs = 0, ones[2][4], counts[2] = {0, 0};
    for (int i = 0; i < 4; i++) {
        if (i < 3 && std::fabs(t(i + 1, i)) > 1e-9) {
            path->theta[pairs] = std::atan2(t(i + 1, i), t(i, i));
            order[2 * pairs] = i;
            order[2 * pairs + 1] = i + 1;
            pairs++;
            i++;
        } else {
            int sign = t(i, i) < 0;
            ones[sign][counts[sign]++] = i;
        }
    }
    for (int sign = 0; sign < 2; sign++)
        for (int k = 0; k + 1 < counts[sign]; k += 2) {
            path->theta[pairs] = sign ? M_PI : 0.0;
            order[2 * pairs] = ones[sign][k];
            order[2 * pairs + 1] = ones[sign][k + 1];
            pairs++;
        }
    if (pairs != 2)
        return 0;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            path->q[i][j] = schur.matrixU()(i, order[j]);
    path->angle = std::max({path->angle, std::fabs(path->theta[0]), std::fabs(path->theta[1])});
    return 1;
}

void walk_geodesic_frame(const Geodesic* path, double t, Frame* frame)
{
    int m = path->dim;
    Rows g(4, m);
    for (int i = 0; i < 4; i++) {
        double c = std::cos(t * path->tau[i]), s = std::sin(t * path->tau[i]);
        for (int k = 0; k < m; k++)
            g(i, k) = path->ga[i][k] * c + path->gz[i][k] * s;
    }
    Square u, q, turn = Square::Zero();
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) {
            u(i, j) = path->u[i][j];
            q(i, j) = path->q[i][j];
        }
    for (int p = 0; p < 2; p++) {
        double c = std::cos(t * path->theta[p]), s = std::sin(t * path->theta[p]);
        turn.block<2, 2>(2 * p, 2 * p) << c, -s, s, c;
    }
    Rows rows = q * turn * q.transpose() * u * g;
    __orthonormal_frame(&rows);
    __store_frame(rows, frame);
}
