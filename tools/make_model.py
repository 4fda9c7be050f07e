#!/usr/bin/env python3
"""Generates resources/model.bin, the built-in preview model: a beige desktop
computer (monitor on a stand, keyboard, mouse and tower joined by cables).

The output is deterministic: the same script always writes the same bytes.

    tools/make_model.py [OUTPUT]          (default: resources/model.bin)
    tools/make_model.py --obj OUT.obj     also write the model as OBJ for a look

Layout written (little-endian 4-byte fields): V, F, M, 96; V positions;
F x 4 corner words (corner 0 carries the material index in bits 20-28);
F x 4 packed texture words (u * 32767 << 16 | v * 32767); M Material records.
"""

import math
import os
import struct
import sys

# The model's extent, which the preview's framing and the tests rely on.
BOUNDS_MIN = (-0.451495, 0.0, -0.162785)
BOUNDS_MAX = (0.451495, 0.62766, 0.162785)

# name: ambient, diffuse, specular, specular exponent
MATERIALS = [
    ("screen", (0, 0, 0.533333), (0.32549, 0, 0.65098), (0.501915, 0.501915, 0.501915), 10),
    ("led", (0, 0.258824, 0), (0, 0.458824, 0), (0.247059, 0.247059, 0.247059), 10),
    ("window", (0, 0, 0), (0.501961, 0.501961, 1), (0.50193, 0.50193, 0.50193), 8),
    ("cable", (0, 0, 0), (0.352926, 0.266667, 0.0862593), (0.6, 0.6, 0.6), 8),
    ("grey", (0, 0, 0), (0.309804, 0.309804, 0.309804), (0.752941, 0.752941, 0.752941), 10),
    ("beige", (0.4, 0.129412, 0), (1, 1, 1), (0.501961, 0.501961, 0.501961), 10),
    ("dark", (0, 0, 0), (0.309804, 0.309804, 0.309804), (0.752941, 0.752941, 0.752941), 10),
]
SCREEN, LED, WINDOW, CABLE, GREY, BEIGE, DARK = range(7)


class Builder:
    def __init__(self):
        self.verts = []
        self.faces = []  # (corner list, material)

    def v(self, x, y, z):
        self.verts.append((float(x), float(y), float(z)))
        return len(self.verts) - 1

    def face(self, corners, mat):
        corners = list(corners)
        assert len(corners) in (3, 4) and len(set(corners)) == len(corners), corners
        self.faces.append((corners, mat))

    def poly(self, loop, mat):
        """A convex polygon as a fan of quads from its first corner (and one
        triangle when the corner count is odd)."""
        loop = list(loop)
        k = 1
        while k + 2 < len(loop):
            self.face([loop[0], loop[k], loop[k + 1], loop[k + 2]], mat)
            k += 2
        if k + 1 < len(loop):
            self.face([loop[0], loop[k], loop[k + 1]], mat)

    def loft(self, a, b, mat, closed=True):
        """Quads between two rings (or open polylines) of equal length."""
        assert len(a) == len(b)
        n = len(a)
        for i in range(n if closed else n - 1):
            j = (i + 1) % n
            self.face([a[i], a[j], b[j], b[i]], mat)

    def bridge(self, a, b, mat):
        """Faces between two open polylines running side by side, with any
        numbers of points: quads where both advance, triangles elsewhere."""
        i = j = 0
        pa = self._params(a)
        pb = self._params(b)
        while i < len(a) - 1 or j < len(b) - 1:
            if i < len(a) - 1 and j < len(b) - 1:
                # advance both when their next points are close in parameter
                if abs(pa[i + 1] - pb[j + 1]) < 0.2 * min(pa[i + 1] - pa[i], pb[j + 1] - pb[j]) + 1e-9:
                    self.face([a[i], a[i + 1], b[j + 1], b[j]], mat)
                    i += 1
                    j += 1
                    continue
                if pa[i + 1] < pb[j + 1]:
                    self.face([a[i], a[i + 1], b[j]], mat)
                    i += 1
                else:
                    self.face([a[i], b[j + 1], b[j]], mat)
                    j += 1
            elif i < len(a) - 1:
                self.face([a[i], a[i + 1], b[j]], mat)
                i += 1
            else:
                self.face([a[i], b[j + 1], b[j]], mat)
                j += 1

    def _params(self, line):
        lengths = [0.0]
        for k in range(1, len(line)):
            p, q = self.verts[line[k - 1]], self.verts[line[k]]
            lengths.append(lengths[-1] + math.dist(p, q))
        total = lengths[-1] or 1.0
        return [x / total for x in lengths]


def grid(b, xs, ys, plane):
    """Vertices of a grid; plane(x, y) gives the 3D point. Returns rows[y][x]."""
    return [[b.v(*plane(x, y)) for x in xs] for y in ys]


def lerp(p, q, t):
    return tuple(p[k] + (q[k] - p[k]) * t for k in range(3))


def inset(b, cell, mat, frame_mat, margins, depth=0.0, normal_dir=None):
    """Replaces nothing: emits a frame of four quads around a smaller cell
    inside the quad `cell` (corners in order) and returns the inner ring.
    margins = (start of the cell along edge 0-1, end along 0-1, start along
    1-2, end along 1-2) as fractions. The inner cell is emitted with `mat`
    unless mat is None (a port that a cable continues from)."""
    p = [b.verts[i] for i in cell]
    u0, u1, v0, v1 = margins

    def at(u, v):
        q = lerp(lerp(p[0], p[1], u), lerp(p[3], p[2], u), v)
        if depth and normal_dir:
            q = tuple(q[k] + normal_dir[k] * depth for k in range(3))
        return b.v(*q)
    inner = [at(u0, v0), at(u1, v0), at(u1, v1), at(u0, v1)]
    b.loft(list(cell), inner, frame_mat)
    if mat is not None:
        b.face(inner, mat)
    return inner


def tube(b, start, end, mat, path, size, out_start, out_end):
    """A cable of square section from port ring `start` to port ring `end`
    (4 vertices each) through the points of `path`; it leaves and enters the
    ports straight along their outward directions."""
    c0, c1 = centroid(b, start), centroid(b, end)
    stub = 2.5 * size
    path = ([tuple(c0[k] + out_start[k] * stub for k in range(3))] + list(path) +
            [tuple(c1[k] + out_end[k] * stub for k in range(3))])
    rings = [start]
    for k, (cx, cy, cz) in enumerate(path):
        prev = path[k - 1] if k > 0 else c0
        nxt = path[k + 1] if k + 1 < len(path) else c1
        d = [nxt[i] - prev[i] for i in range(3)]
        # a section square to the direction of travel
        up = (0.0, 1.0, 0.0) if abs(d[1]) < 0.9 * math.hypot(*d) else (1.0, 0.0, 0.0)
        side = cross(d, up)
        side = scale(side, size / math.hypot(*side))
        top = cross(side, d)
        top = scale(top, size / math.hypot(*top))
        rings.append([b.v(*(cx + side[0] + top[0], cy + side[1] + top[1], cz + side[2] + top[2])),
                      b.v(*(cx - side[0] + top[0], cy - side[1] + top[1], cz - side[2] + top[2])),
                      b.v(*(cx - side[0] - top[0], cy - side[1] - top[1], cz - side[2] - top[2])),
                      b.v(*(cx + side[0] - top[0], cy + side[1] - top[1], cz + side[2] - top[2]))])
    rings.append(end)
    for r0, r1 in zip(rings, rings[1:]):
        b.loft(r0, align_ring(b, r0, r1), mat)


def cross(a, c):
    return (a[1] * c[2] - a[2] * c[1], a[2] * c[0] - a[0] * c[2], a[0] * c[1] - a[1] * c[0])


def scale(a, f):
    return tuple(x * f for x in a)


def centroid(b, ring):
    pts = [b.verts[i] for i in ring]
    return tuple(sum(p[k] for p in pts) / len(pts) for k in range(3))


def align_ring(b, r0, r1):
    """Orders r1 so that lofting r0 to r1 neither twists nor turns the tube
    inside out: both rings wind the same way about the direction of travel,
    and corresponding corners are the nearest."""
    c0, c1 = centroid(b, r0), centroid(b, r1)
    d = [c1[k] - c0[k] for k in range(3)]

    def winding(ring):
        n = normal(b, ring)
        return sum(n[k] * d[k] for k in range(3)) > 0
    if winding(r0) != winding(r1):
        r1 = r1[::-1]
    best = None
    for s in range(len(r1)):
        rr = r1[s:] + r1[:s]
        cost = sum(math.dist(b.verts[p], b.verts[q]) for p, q in zip(r0, rr))
        if best is None or cost < best[0] - 1e-12:
            best = (cost, rr)
    return best[1]


def box_corners(b, x0, x1, y0, y1, z0, z1):
    """Bottom ring then top ring, each counter-clockwise seen from above."""
    bottom = [b.v(x0, y0, z1), b.v(x1, y0, z1), b.v(x1, y0, z0), b.v(x0, y0, z0)]
    top = [b.v(x0, y1, z1), b.v(x1, y1, z1), b.v(x1, y1, z0), b.v(x0, y1, z0)]
    return bottom, top


def build(K=10, R=3, space_bar=5, cable_points=(1, 1, 2), ring_n=7, tower_lines=(0.08, 0.1, 0.38, 0.42, 0.44, 0.48)):
    b = Builder()

    # ---- monitor: a flat foot, a neck with a cable hole, the housing
    mx = -0.13
    fz0, fz1 = -0.162785, -0.02
    foot_bottom, foot_top = box_corners(b, mx - 0.15, mx + 0.15, 0.0, 0.018, fz0, fz1)
    b.loft(foot_bottom, foot_top, GREY)
    b.face(foot_bottom, GREY)
    nz0, nz1 = -0.11, -0.08  # neck depth
    nw = 0.045
    ny0, ny1 = 0.018, 0.28
    neck_bottom = [b.v(mx - nw, ny0, nz1), b.v(mx + nw, ny0, nz1), b.v(mx + nw, ny0, nz0), b.v(mx - nw, ny0, nz0)]
    b.loft(foot_top, neck_bottom, GREY)
    neck_top = [b.v(mx - nw, ny1, nz1), b.v(mx + nw, ny1, nz1), b.v(mx + nw, ny1, nz0), b.v(mx - nw, ny1, nz0)]
    b.face([neck_bottom[1], neck_bottom[2], neck_top[2], neck_top[1]], GREY)
    b.face([neck_bottom[3], neck_bottom[0], neck_top[0], neck_top[3]], GREY)
    hw, hy0, hy1 = 0.022, 0.07, 0.15
    hole_front = [b.v(mx - hw, hy0, nz1), b.v(mx + hw, hy0, nz1), b.v(mx + hw, hy1, nz1), b.v(mx - hw, hy1, nz1)]
    hole_back = [b.v(mx - hw, hy0, nz0), b.v(mx + hw, hy0, nz0), b.v(mx + hw, hy1, nz0), b.v(mx - hw, hy1, nz0)]
    b.loft([neck_bottom[0], neck_bottom[1], neck_top[1], neck_top[0]], hole_front, GREY)
    b.loft([neck_bottom[3], neck_bottom[2], neck_top[2], neck_top[3]], hole_back, GREY)
    b.loft(hole_front, hole_back, GREY)

    # back bulge, which the neck enters from below
    bx, by0, by1, bz0, bz1 = 0.175, ny1, 0.55, -0.125, -0.042
    bulge_floor = [b.v(mx - bx, by0, bz1), b.v(mx + bx, by0, bz1), b.v(mx + bx, by0, bz0), b.v(mx - bx, by0, bz0)]
    bulge_roof = [b.v(mx - bx, by1, bz1), b.v(mx + bx, by1, bz1), b.v(mx + bx, by1, bz0), b.v(mx - bx, by1, bz0)]
    b.loft(bulge_floor, neck_top, BEIGE)
    b.face([bulge_roof[3], bulge_roof[2], bulge_roof[1], bulge_roof[0]], BEIGE)
    b.face([bulge_floor[1], bulge_floor[2], bulge_roof[2], bulge_roof[1]], BEIGE)
    b.face([bulge_floor[3], bulge_floor[0], bulge_roof[0], bulge_roof[3]], BEIGE)
    bulge_back = [bulge_floor[2], bulge_floor[3], bulge_roof[3], bulge_roof[2]]
    monitor_port = inset(b, bulge_back, None, BEIGE, (0.1, 0.2, 0.15, 0.25))

    # the housing panel in front of the bulge
    px, py0, py1, pz0, pz1 = 0.31, 0.235, 0.62766, bz1, -0.006
    panel_back = [b.v(mx - px, py0, pz0), b.v(mx + px, py0, pz0), b.v(mx + px, py1, pz0), b.v(mx - px, py1, pz0)]
    panel_front = [b.v(mx - px, py0, pz1), b.v(mx + px, py0, pz1), b.v(mx + px, py1, pz1), b.v(mx - px, py1, pz1)]
    b.loft(panel_back, panel_front, BEIGE)
    b.loft(panel_back, [bulge_floor[0], bulge_floor[1], bulge_roof[1], bulge_roof[0]], BEIGE)
    ix0, ix1, iy0, iy1 = mx - 0.275, mx + 0.275, py0 + 0.05, py1 - 0.03
    bezel = [b.v(ix0, iy0, pz1), b.v(ix1, iy0, pz1), b.v(ix1, iy1, pz1), b.v(ix0, iy1, pz1)]
    b.loft(panel_front, bezel, BEIGE)
    sz = pz1 - 0.008
    screen = [b.v(ix0, iy0, sz), b.v(ix1, iy0, sz), b.v(ix1, iy1, sz), b.v(ix0, iy1, sz)]
    b.loft(bezel, screen, DARK)
    # a window with a title bar on the screen
    wx0, wx1, wy0, wy1, wt = mx - 0.2, mx + 0.09, iy0 + 0.06, iy1 - 0.055, iy1 - 0.09
    win = [b.v(wx0, wy0, sz), b.v(wx1, wy0, sz), b.v(wx1, wt, sz), b.v(wx1, wy1, sz), b.v(wx0, wy1, sz), b.v(wx0, wt, sz)]
    b.face([screen[0], screen[1], win[1], win[0]], SCREEN)
    b.face([screen[2], screen[3], win[4], win[3]], SCREEN)
    b.bridge([screen[1], screen[2]], [win[1], win[2], win[3]], SCREEN)
    b.bridge([screen[3], screen[0]], [win[4], win[5], win[0]], SCREEN)
    b.face([win[0], win[1], win[2], win[5]], WINDOW)
    b.face([win[5], win[2], win[3], win[4]], LED)

    # ---- keyboard: a slab whose top is a field of keys
    kx0, kx1, kz0, kz1 = -0.40, 0.06, 0.035, 0.162785
    kxs = [kx0 + (kx1 - kx0) * k / K for k in range(K + 1)]
    kzs = [kz0 + (kz1 - kz0) * k / R for k in range(R + 1)]

    def key_height(z):  # keyboards rise toward the back
        return 0.016 + 0.012 * (kz1 - z) / (kz1 - kz0)
    top = grid(b, kxs, kzs, lambda x, z: (x, key_height(z), z))
    front_low = [b.v(x, 0.0, kz1) for x in kxs]
    back_low = [b.v(x, 0.0, kz0) for x in kxs]
    b.loft(front_low, top[-1], GREY, closed=False)
    back_faces_from = len(b.faces)
    b.loft(top[0], back_low, GREY, closed=False)
    keyboard_back = b.faces[back_faces_from + K - 2]  # a cable leaves here
    b.loft(back_low, front_low, GREY, closed=False)
    b.bridge([top[k][0] for k in range(R + 1)], [back_low[0], front_low[0]], GREY)
    right_from = len(b.faces)
    b.bridge([top[k][-1] for k in range(R + 1)], [back_low[-1], front_low[-1]], GREY)
    keyboard_side = next(f for f in b.faces[right_from:] if len(f[0]) == 4)
    # a hip roof over each key: sloped front and back, triangular ends; the
    # front row has a space bar across the middle cells
    for r in range(R):
        c = 0
        while c < K:
            span = space_bar if r == R - 1 and c == (K - space_bar) // 2 else 1
            z0, z1 = kzs[r], kzs[r + 1]
            zm = (z0 + z1) / 2
            inset_x = min(0.3 * (kxs[c + 1] - kxs[c]), 0.012)
            h = key_height(zm) + 0.011
            ra = b.v(kxs[c] + inset_x, h, zm)
            rb = b.v(kxs[c + span] - inset_x, h, zm)
            b.bridge([top[r + 1][c + k] for k in range(span + 1)], [ra, rb], BEIGE)
            b.bridge([top[r][c + k] for k in range(span + 1)], [ra, rb], BEIGE)
            b.face([top[r][c], top[r + 1][c], ra], BEIGE)
            b.face([top[r + 1][c + span], top[r][c + span], rb], BEIGE)
            c += span

    # ---- tower: a case with two drive bays and a power light
    tx0, tx1, ty1, tz0, tz1 = 0.24, 0.451495, 0.55, -0.15, 0.15
    tb, tt = box_corners(b, tx0, tx1, 0.0, ty1, tz0, tz1)
    b.face([tb[3], tb[2], tb[1], tb[0]], BEIGE)
    b.face(tt, BEIGE)
    b.face([tb[2], tb[3], tt[3], tt[2]], BEIGE)
    b.face([tb[1], tb[2], tt[2], tt[1]], BEIGE)
    # the left side carries two sockets, side by side
    side = [tb[3], tb[0], tt[0], tt[3]]  # back-bottom, front-bottom, front-top, back-top
    sp = [b.verts[i] for i in side]

    def side_at(u, v):
        return b.v(*lerp(lerp(sp[0], sp[1], u), lerp(sp[3], sp[2], u), v))
    us = [0.12, 0.2, 0.28, 0.36]
    lo = [side_at(u, 0.06) for u in us]
    hi = [side_at(u, 0.11) for u in us]
    b.bridge([side[0], side[1]], lo, BEIGE)
    b.face([side[1], side[2], hi[-1], lo[-1]], BEIGE)
    b.bridge([side[2], side[3]], hi[::-1], BEIGE)
    b.face([side[3], side[0], lo[0], hi[0]], BEIGE)
    b.face([lo[1], lo[2], hi[2], hi[1]], DARK)
    socket_back = [lo[0], lo[1], hi[1], hi[0]]
    socket_front = [lo[2], lo[3], hi[3], hi[2]]
    # the front: a frame around a column of strips
    cx0, cx1 = tx0 + 0.025, tx1 - 0.025
    ys = list(tower_lines)
    left = [b.v(cx0, y, tz1) for y in ys]
    right = [b.v(cx1, y, tz1) for y in ys]
    b.face([tb[0], tb[1], right[0], left[0]], BEIGE)
    b.face([tt[1], tt[0], left[-1], right[-1]], BEIGE)
    b.bridge([tb[1], tt[1]], right, BEIGE)
    b.bridge([tt[0], tb[0]], left[::-1], BEIGE)
    for k in range(len(ys) - 1):
        cell = [left[k], right[k], right[k + 1], left[k + 1]]
        if ys[k] in (0.38, 0.44):  # drive bays, set back into the case
            inner = [b.v(b.verts[i][0], b.verts[i][1], tz1 - 0.006) for i in cell]
            b.loft(cell, inner, DARK)
            b.face(inner, DARK)
        else:
            b.face(cell, LED if ys[k] == 0.08 else BEIGE)

    # ---- mouse: a dome on an oval footprint
    mcx, mcz = 0.165, 0.1
    levels = [(0.0, 1.0), (0.014, 1.0), (0.024, 0.75)]
    far = 3 * ring_n // 4  # the quad of the lowest band facing -z, where the cable leaves
    phase = 1.5 * math.pi - math.pi / ring_n - 2 * math.pi * far / ring_n
    rings = [[b.v(mcx + s * 0.032 * math.cos(2 * math.pi * k / ring_n + phase), y,
                  mcz + s * 0.05 * math.sin(2 * math.pi * k / ring_n + phase))
              for k in range(ring_n)] for y, s in levels]
    for r0, r1 in zip(rings[1:], rings[2:]):
        b.loft(r0, r1, BEIGE)
    # the lowest band, except the quad at the far end where the cable leaves
    for k in range(ring_n):
        if k != far:
            b.face([rings[0][k], rings[0][(k + 1) % ring_n], rings[1][(k + 1) % ring_n], rings[1][k]], BEIGE)
    mouse_end = [rings[0][far], rings[0][far + 1], rings[1][far + 1], rings[1][far]]
    apex = b.v(mcx, levels[-1][0] + 0.008, mcz + 0.004)
    for k in range(ring_n):
        b.face([rings[-1][k], rings[-1][(k + 1) % ring_n], apex], BEIGE)
    b.poly(rings[0], BEIGE)

    # ---- cables from small plugs: keyboard to tower, mouse to keyboard,
    # monitor to tower
    def plug(face, frame_mat):
        b.faces.remove(next(f for f in b.faces if f[0] == face))
        return inset(b, face, None, frame_mat, (0.3, 0.7, 0.25, 0.75))
    kb_plug = plug(keyboard_back[0], GREY)
    kb_side_plug = plug(keyboard_side[0], GREY)
    mouse_plug = inset(b, mouse_end, None, BEIGE, (0.3, 0.7, 0.2, 0.7))
    c = 0.004  # cable half thickness
    paths = {
        "keyboard": [(0.07, c, 0.01), (0.16, c, -0.04), (0.21, c, -0.055)][:cable_points[0]],
        "mouse": [(0.15, c, 0.03), (0.1, c, 0.04), (0.085, c, 0.055)][:cable_points[1]],
        "monitor": [(0.0, 0.2, -0.14), (0.1, c, -0.145), (0.2, c, -0.11)][:cable_points[2]],
    }
    tube(b, kb_plug, socket_front, CABLE, paths["keyboard"], c, (0, 0, -1), (-1, 0, 0))
    tube(b, mouse_plug, kb_side_plug, CABLE, paths["mouse"], c, (0, 0, -1), (1, 0, 0))
    tube(b, monitor_port, socket_back, CABLE, paths["monitor"], c, (0, 0, -1), (-1, 0, 0))
    return b


def orient(b):
    """Makes every face of each closed piece wind counter-clockwise seen from
    outside: neighbours must run shared edges in opposite directions, and a
    piece's signed volume must come out positive."""
    edge_faces = {}
    for fi, (c, _) in enumerate(b.faces):
        for k in range(len(c)):
            e = frozenset((c[k], c[(k + 1) % len(c)]))
            edge_faces.setdefault(e, []).append(fi)
    seen = [False] * len(b.faces)
    pieces = []
    for seed in range(len(b.faces)):
        if seen[seed]:
            continue
        seen[seed] = True
        piece, stack = [seed], [seed]
        while stack:
            fi = stack.pop()
            c = b.faces[fi][0]
            for k in range(len(c)):
                p, q = c[k], c[(k + 1) % len(c)]
                for fj in edge_faces[frozenset((p, q))]:
                    if fj == fi or seen[fj]:
                        continue
                    d = b.faces[fj][0]
                    runs_same = any(d[m] == p and d[(m + 1) % len(d)] == q for m in range(len(d)))
                    if runs_same:
                        b.faces[fj] = (d[::-1], b.faces[fj][1])
                    seen[fj] = True
                    piece.append(fj)
                    stack.append(fj)
        pieces.append(piece)
    for piece in pieces:
        vol = 0.0
        for fi in piece:
            c = b.faces[fi][0]
            p0 = b.verts[c[0]]
            for k in range(1, len(c) - 1):
                p1, p2 = b.verts[c[k]], b.verts[c[k + 1]]
                vol += (p0[0] * (p1[1] * p2[2] - p1[2] * p2[1]) - p0[1] * (p1[0] * p2[2] - p1[2] * p2[0]) +
                        p0[2] * (p1[0] * p2[1] - p1[1] * p2[0]))
        if vol < 0:
            for fi in piece:
                c, m = b.faces[fi]
                b.faces[fi] = (c[::-1], m)
    return pieces, edge_faces


def normal(b, c):
    nx = ny = nz = 0.0
    for k in range(len(c)):
        a, d = b.verts[c[k]], b.verts[c[(k + 1) % len(c)]]
        nx += (a[1] - d[1]) * (a[2] + d[2])
        ny += (a[2] - d[2]) * (a[0] + d[0])
        nz += (a[0] - d[0]) * (a[1] + d[1])
    return nx, ny, nz


def corner_uv(b, c, lo, hi):
    """Per-corner texture coordinates: a box projection chosen by the face's
    dominant normal axis, over the model's extent."""
    n = normal(b, c)
    axis = max(range(3), key=lambda k: abs(n[k]))
    u_axis, v_axis = {0: (2, 1), 1: (0, 2), 2: (0, 1)}[axis]
    out = []
    for i in c:
        p = b.verts[i]
        u = (p[u_axis] - lo[u_axis]) / (hi[u_axis] - lo[u_axis])
        v = (p[v_axis] - lo[v_axis]) / (hi[v_axis] - lo[v_axis])
        out.append((min(max(u, 0.0), 1.0), min(max(v, 0.0), 1.0)))
    return out


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def fit_bounds(b):
    """Maps each axis onto the model's fixed extent (the design is drawn close
    to it, so this only removes rounding)."""
    lo = [min(p[k] for p in b.verts) for k in range(3)]
    hi = [max(p[k] for p in b.verts) for k in range(3)]
    out = []
    for p in b.verts:
        q = []
        for k in range(3):
            t = (p[k] - lo[k]) / (hi[k] - lo[k])
            q.append(f32(BOUNDS_MIN[k] + t * (BOUNDS_MAX[k] - BOUNDS_MIN[k])))
        out.append(tuple(q))
    b.verts = out
    # the extremes land exactly on the single-precision bounds
    for k in range(3):
        assert min(p[k] for p in b.verts) == f32(BOUNDS_MIN[k])
        assert max(p[k] for p in b.verts) == f32(BOUNDS_MAX[k])


def statistics(b):
    quads = sum(1 for c, _ in b.faces if len(c) == 4)
    tris = len(b.faces) - quads
    return len(b.verts), len(b.faces), quads, tris


def serialise(b):
    out = bytearray()
    out += struct.pack("<iiii", len(b.verts), len(b.faces), len(MATERIALS), 96)
    for p in b.verts:
        out += struct.pack("<fff", *p)
    for c, mat in b.faces:
        words = list(c) + [-1] * (4 - len(c))
        words[0] |= mat << 20
        out += struct.pack("<iiii", *words)
    for c, _ in b.faces:
        uvs = corner_uv(b, c, BOUNDS_MIN, BOUNDS_MAX)
        words = [(round(u * 32767) << 16) | round(v * 32767) for u, v in uvs] + [0] * (4 - len(c))
        out += struct.pack("<IIII", *words)
    for _, ambient, diffuse, specular, exponent in MATERIALS:
        out += struct.pack("<3f3f3f3f", *ambient, *diffuse, *specular, 0, 0, 0)
        out += struct.pack("<3f", 1.0, 1.0, 1.0)
        out += struct.pack("<iii", 1, exponent, 0)
        out += struct.pack("<6i", 0, 0, 0, 0, 0, 0)
    return bytes(out)


def write_obj(b, path):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", newline="\n") as f:
        f.write("mtllib %s\n" % (os.path.splitext(os.path.basename(path))[0] + ".mtl"))
        for p in b.verts:
            f.write("v %.6f %.6f %.6f\n" % p)
        last = None
        for c, mat in b.faces:
            if mat != last:
                f.write("usemtl mat%d\n" % (mat + 1))
                last = mat
            f.write("f %s\n" % " ".join(str(i + 1) for i in c))
    with open(os.path.splitext(path)[0] + ".mtl", "w", newline="\n") as f:
        for k, (_, _, diffuse, _, _) in enumerate(MATERIALS):
            f.write("newmtl mat%d\nKd %f %f %f\n" % (k + 1, *diffuse))


def main(argv):
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "model.bin")
    obj = None
    args = list(argv)
    if "--obj" in args:
        k = args.index("--obj")
        obj = args[k + 1]
        del args[k:k + 2]
    if args:
        target = args[0]
    b = build()
    pieces, edge_faces = orient(b)
    fit_bounds(b)
    v, f, q, t = statistics(b)
    open_edges = sum(1 for fs in edge_faces.values() if len(fs) == 1)
    odd_edges = sum(1 for fs in edge_faces.values() if len(fs) > 2)
    print("vertices %d faces %d quads %d triangles %d pieces %d open edges %d shared-by-3+ %d"
          % (v, f, q, t, len(pieces), open_edges, odd_edges), file=sys.stderr)
    if obj:
        write_obj(b, obj)
    data = serialise(b)
    with open(target, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main(sys.argv[1:])
