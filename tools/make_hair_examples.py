#!/usr/bin/env python3
"""Writes the bundled strand examples into examples/.

- scalp_hair.obj (+ scalp_hair.mtl): a head-like scalp cap with a few
  thousand curly strands of varied length (8 to 32 points) as `l` statements;
- scalp_hair.hr2: the same scalp and hair as a Poser hair file, the scalp as a
  prop and the strands as a hairProp, both with inline geometry;
- brush_mixed.obj: a small triangle-and-quad disc with a handful of strands,
  among them straight, two-point and 32-point ones.

Deterministic: a fixed seed and fixed-precision output, so running it again
gives the same bytes. Run from anywhere: python3 tools/make_hair_examples.py
"""

import math
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "examples")

# Head in the small units of figure files: about 11 cm tall at scale 1 = 1 m.
CENTRE = (0.0, 0.60, 0.0)
RADII = (0.046, 0.056, 0.052)  # x (ear to ear), y (up), z (front, +z)
STRAND_COUNT = 2400


def add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def scale(a, s):
    return (a[0] * s, a[1] * s, a[2] * s)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def normalise(a):
    length = math.sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2])
    return scale(a, 1.0 / length) if length > 0 else a


def scalp_point(theta, phi):
    """Point and outward normal of the head ellipsoid; theta from the crown."""
    d = (math.sin(theta) * math.sin(phi), math.cos(theta), math.sin(theta) * math.cos(phi))
    p = add(CENTRE, (RADII[0] * d[0], RADII[1] * d[1], RADII[2] * d[2]))
    n = normalise((d[0] / RADII[0], d[1] / RADII[1], d[2] / RADII[2]))
    return p, n


def inside_head(p, margin):
    q = [(p[i] - CENTRE[i]) / (RADII[i] * margin) for i in range(3)]
    return q[0] * q[0] + q[1] * q[1] + q[2] * q[2] < 1.0


def scalp_mesh(rings=12, segments=24, max_theta=math.radians(110)):
    """A cap of the ellipsoid: a triangle fan at the crown, quads below."""
    verts, tex, faces = [], [], []
    crown, _ = scalp_point(0.0, 0.0)
    verts.append(crown)
    tex.append((0.5, 1.0))
    for r in range(1, rings + 1):
        theta = max_theta * r / rings
        for s in range(segments):
            phi = 2 * math.pi * s / segments
            p, _ = scalp_point(theta, phi)
            verts.append(p)
            tex.append((s / segments, 1.0 - r / rings))
    ring = lambda r, s: 1 + (r - 1) * segments + (s % segments)  # 0-based
    # Counter-clockwise seen from outside, so the normals point outwards.
    for s in range(segments):
        faces.append((0, ring(1, s), ring(1, s + 1)))
    for r in range(1, rings):
        for s in range(segments):
            faces.append((ring(r, s), ring(r + 1, s), ring(r + 1, s + 1), ring(r, s + 1)))
    return verts, tex, faces


def curly_strand(rng):
    """Points of one strand: a drooping centre line with a curl around it."""
    while True:
        theta = math.acos(rng.uniform(math.cos(math.radians(95)), 1.0))
        phi = rng.uniform(0, 2 * math.pi)
        front = math.cos(phi) > 0.35  # the forehead stays bare
        if not (front and theta > math.radians(50)):
            break
    root, normal = scalp_point(theta, phi)
    n = rng.randint(8, 32)
    length = rng.uniform(0.04, 0.15)
    seg = length / (n - 1)
    curl_radius = rng.uniform(0.0015, 0.005)
    turns_per_metre = rng.uniform(25.0, 60.0)
    phase = rng.uniform(0, 2 * math.pi)
    gravity = (0.0, -1.0, -0.25)
    centre = root
    direction = normal
    points = [root]
    travelled = 0.0
    for _ in range(1, n):
        direction = normalise(add(direction, scale(gravity, 0.35)))
        centre = add(centre, scale(direction, seg))
        if inside_head(centre, 1.08):  # slide over the head, not through it
            out = normalise(tuple((centre[i] - CENTRE[i]) / (RADII[i] ** 2) for i in range(3)))
            centre = add(centre, scale(out, 0.004))
        travelled += seg
        axis = (1.0, 0.0, 0.0) if abs(direction[0]) < 0.9 else (0.0, 0.0, 1.0)
        u = normalise(cross(direction, axis))
        v = cross(direction, u)
        grow = min(1.0, travelled / (0.25 * length))  # roots sit on the scalp
        angle = phase + 2 * math.pi * turns_per_metre * travelled
        offset = add(scale(u, math.cos(angle)), scale(v, math.sin(angle)))
        points.append(add(centre, scale(offset, curl_radius * grow)))
    return points


def fmt(x):
    s = "%.5f" % x
    return "0.00000" if s == "-0.00000" else s


def write(path, lines, newline="\n"):
    with open(path, "w", newline="") as f:
        f.write(newline.join(lines) + newline)
    print("wrote %s (%d bytes)" % (os.path.relpath(path), os.path.getsize(path)))


def scalp_hair():
    rng = random.Random(20261209)
    sv, st, sf = scalp_mesh()
    strands = [curly_strand(rng) for _ in range(STRAND_COUNT)]

    # OBJ: scalp first (group scalp, material skin), then the strands.
    lines = ["# Quillmere example: a scalp with %d curly strands" % len(strands), "mtllib scalp_hair.mtl"]
    lines += ["v %s %s %s" % tuple(fmt(c) for c in p) for p in sv]
    for s in strands:
        lines += ["v %s %s %s" % tuple(fmt(c) for c in p) for p in s]
    lines += ["vt %s %s" % (fmt(u), fmt(v)) for u, v in st]
    lines += ["g scalp", "usemtl skin"]
    lines += ["f " + " ".join("%d/%d" % (i + 1, i + 1) for i in f) for f in sf]
    lines += ["g hair", "usemtl strands"]
    base = len(sv) + 1
    for s in strands:
        lines.append("l " + " ".join(str(base + k) for k in range(len(s))))
        base += len(s)
    write(os.path.join(OUT, "scalp_hair.obj"), lines)
    write(os.path.join(OUT, "scalp_hair.mtl"), [
        "newmtl skin", "Ns 10", "Ka 0.2 0.15 0.12", "Kd 0.85 0.66 0.55", "Ks 0.2 0.2 0.2",
        "newmtl strands", "Ns 40", "Ka 0.05 0.03 0.02", "Kd 0.35 0.2 0.1", "Ks 0.5 0.45 0.4",
    ])

    # Poser hair file: the scalp prop and the hairProp, each with its own
    # geomCustom (indices local to the block), then their materials.
    t = "\t"
    hr2 = ["{", "version", t + "{", t + "number 4.01", t + "}"]
    hr2 += ["prop scalp", t + "{", t + "geomCustom", t * 2 + "{",
            t * 2 + "numbVerts %d" % len(sv), t * 2 + "numbTVerts %d" % len(st),
            t * 2 + "numbTSets %d" % sum(len(f) for f in sf), t * 2 + "numbElems %d" % len(sf),
            t * 2 + "numbSets %d" % sum(len(f) for f in sf)]
    hr2 += [t * 2 + "v %s %s %s" % tuple(fmt(c) for c in p) for p in sv]
    hr2 += [t * 2 + "vt %s %s" % (fmt(u), fmt(v)) for u, v in st]
    hr2 += [t * 2 + "g scalp", t * 2 + "usemtl skin"]
    hr2 += [t * 2 + "f " + " ".join("%d/%d" % (i + 1, i + 1) for i in f) for f in sf]
    hr2 += [t * 2 + "}", t + "}"]
    total = sum(len(s) for s in strands)
    hr2 += ["hairProp hair_1", t + "{", t + "geomCustom", t * 2 + "{",
            t * 2 + "numbVerts %d" % total, t * 2 + "numbTVerts 0", t * 2 + "numbTSets 0",
            t * 2 + "numbElems %d" % len(strands), t * 2 + "numbSets %d" % total]
    for s in strands:
        hr2 += [t * 2 + "v %s %s %s" % tuple(fmt(c) for c in p) for p in s]
    hr2 += [t * 2 + "g hair", t * 2 + "usemtl strands"]
    base = 1
    for s in strands:
        hr2.append(t * 2 + "l " + " ".join(str(base + k) for k in range(len(s))))
        base += len(s)
    hr2 += [t * 2 + "}", t + "}"]
    hr2 += ["prop scalp", t + "{", t + "name scalp", t + "on", t + "parent UNIVERSE",
            t + "material skin", t + "{", t * 2 + "KdColor 0.85 0.66 0.55 1", t * 2 + "KaColor 0.2 0.15 0.12 1",
            t * 2 + "KsColor 0.2 0.2 0.2 1", t * 2 + "NsExponent 10", t * 2 + "tMax 0",
            t * 2 + "textureMap NO_MAP", t * 2 + "}", t + "}"]
    hr2 += ["hairProp hair_1", t + "{", t + "name hair_1", t + "on", t + "parent scalp",
            t + "material strands", t + "{", t * 2 + "KdColor 0.35 0.2 0.1 1", t * 2 + "KaColor 0.05 0.03 0.02 1",
            t * 2 + "KsColor 0.5 0.45 0.4 1", t * 2 + "NsExponent 40", t * 2 + "textureMap NO_MAP",
            t * 2 + "}", t + "}"]
    hr2 += ["}"]
    write(os.path.join(OUT, "scalp_hair.hr2"), hr2, newline="\r\n")


def brush_mixed():
    """A disc of triangles and quads with strands growing from it."""
    verts = [(0.0, 0.0, 0.0)]
    segments = 8
    for r in (0.5, 1.0):
        for s in range(segments):
            a = 2 * math.pi * s / segments
            verts.append((r * math.cos(a), 0.0, r * math.sin(a)))
    faces = [(0, 1 + (s + 1) % segments, 1 + s) for s in range(segments)]
    faces += [(1 + s, 1 + (s + 1) % segments, 9 + (s + 1) % segments, 9 + s) for s in range(segments)]
    strands = []
    # Curly strands rooted on the disc's vertices (shared with its faces).
    for root, n in zip(range(1, 17), (4, 5, 7, 8, 11, 14, 20, 32, 6, 9, 12, 3, 16, 25, 10, 31)):
        pts = [verts[root]]
        for k in range(1, n):
            h = 0.12 * k
            a = 0.9 * k + root
            pts.append((verts[root][0] + 0.05 * math.cos(a), h, verts[root][2] + 0.05 * math.sin(a)))
        strands.append((root, pts[1:]))
    # A straight strand, a two-point strand and a straight 32-point strand,
    # none touching the faces: their normals are zero.
    strands.append((None, [(2.0, 0.0, 0.0), (2.0, 0.5, 0.0), (2.0, 1.0, 0.0), (2.0, 1.5, 0.0), (2.0, 2.0, 0.0)]))
    strands.append((None, [(-2.0, 0.0, 0.0), (-2.0, 1.0, 0.5)]))
    strands.append((None, [(0.0, 0.0, 2.0 + 0.0625 * k) for k in range(32)]))
    lines = ["# Quillmere example: a disc of triangles and quads with %d strands" % len(strands)]
    lines += ["v %s %s %s" % tuple(fmt(c) for c in p) for p in verts]
    statements = []
    next_index = len(verts) + 1
    for root, pts in strands:
        idx = [] if root is None else [root + 1]
        for p in pts:
            lines.append("v %s %s %s" % tuple(fmt(c) for c in p))
            idx.append(next_index)
            next_index += 1
        statements.append("l " + " ".join(str(i) for i in idx))
    lines += ["vt %s %s" % (fmt(0.5 + 0.5 * v[0]), fmt(0.5 + 0.5 * v[2])) for v in verts]
    lines += ["g disc"]
    lines += ["f " + " ".join("%d/%d" % (i + 1, i + 1) for i in f) for f in faces]
    lines += ["g strands"]
    lines += statements
    write(os.path.join(OUT, "brush_mixed.obj"), lines)


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    scalp_hair()
    brush_mixed()
