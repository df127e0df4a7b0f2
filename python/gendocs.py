"""Writes the C++ header of the module's docstrings from the package's type stub.

The stub (hfchain/__init__.pyi) is the one source of the Python documentation: IDEs read it as it
is, and this script compiles it into the module so that help() shows the same text. Each
function, class, method and documented attribute of the stub becomes a constant in namespace
hfchain::python::doc:

    def f(...)             -> f        "f(a, b=1) -> R" + blank line + docstring
    class C                -> C        docstring
    def C.__init__(...)    -> C___init__  "C(a=1)" + docstring
    def C.m(...)           -> C_m      "m(x) -> R" + docstring
    C.a: T  followed by a string       -> C_a       the string

Usage: gendocs.py STUB OUTPUT
"""

import ast
import inspect
import sys

DELIMITER = "hfdoc"


def signature(name, fn, returns=True):
    a = fn.args
    positional = a.posonlyargs + a.args
    defaults = [None] * (len(positional) - len(a.defaults)) + list(a.defaults)
    parts = []
    for arg, default in zip(positional, defaults):
        if arg.arg in ("self", "cls"):
            continue
        parts.append(arg.arg if default is None else f"{arg.arg}={ast.unparse(default)}")
    if a.vararg:
        parts.append("*" + a.vararg.arg)
    elif a.kwonlyargs:
        parts.append("*")
    for arg, default in zip(a.kwonlyargs, a.kw_defaults):
        parts.append(arg.arg if default is None else f"{arg.arg}={ast.unparse(default)}")
    if a.kwarg:
        parts.append("**" + a.kwarg.arg)
    shown = f" -> {ast.unparse(fn.returns)}" if returns and fn.returns is not None else ""
    return f"{name}({', '.join(parts)}){shown}"


def with_signature(sig, doc):
    return sig if not doc else f"{sig}\n\n{doc}"


def collect(tree):
    docs = []
    module_doc = ast.get_docstring(tree)
    if module_doc:
        docs.append(("module_doc", module_doc))
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            docs.append((node.name, with_signature(signature(node.name, node), ast.get_docstring(node))))
        elif isinstance(node, ast.ClassDef):
            docs.append((node.name, ast.get_docstring(node) or ""))
            body = node.body
            for i, item in enumerate(body):
                if isinstance(item, ast.FunctionDef):
                    init = item.name == "__init__"
                    sig = signature(node.name if init else item.name, item, returns=not init)
                    docs.append((f"{node.name}_{item.name}",
                                 with_signature(sig, ast.get_docstring(item))))
                elif isinstance(item, ast.AnnAssign) and isinstance(item.target, ast.Name):
                    following = body[i + 1] if i + 1 < len(body) else None
                    if (isinstance(following, ast.Expr) and isinstance(following.value, ast.Constant)
                            and isinstance(following.value.value, str)):
                        docs.append((f"{node.name}_{item.target.id}",
                                     inspect.cleandoc(following.value.value)))
    return docs


def main(stub, output):
    with open(stub, encoding="utf-8") as f:
        tree = ast.parse(f.read(), stub)
    lines = [
        "// Generated from the package's type stub by python/gendocs.py: edit the stub, not this.",
        "#pragma once",
        "",
        "namespace hfchain::python::doc {",
        "",
    ]
    for name, text in collect(tree):
        if f"){DELIMITER}\"" in text:
            sys.exit(f"{stub}: the docstring of {name} contains the delimiter ){DELIMITER}\"")
        lines.append(f'inline constexpr const char* {name} = R"{DELIMITER}({text}){DELIMITER}";')
    lines += ["", "}  // namespace hfchain::python::doc", ""]
    content = "\n".join(lines)
    try:
        with open(output, encoding="utf-8") as f:
            if f.read() == content:
                return  # unchanged: keep the time stamp, so nothing recompiles
    except FileNotFoundError:
        pass
    with open(output, "w", encoding="utf-8") as f:
        f.write(content)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: gendocs.py STUB OUTPUT")
    main(sys.argv[1], sys.argv[2])
