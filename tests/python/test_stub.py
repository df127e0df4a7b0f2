"""The type stub (which is also the source of the docstrings) and the module agree: the same
names, the same argument names, the same fields."""

import ast
import inspect
import os

import pytest

import hfchain

STUB = os.path.join(os.path.dirname(hfchain.__file__), "__init__.pyi")
with open(STUB, encoding="utf-8") as f:
    TREE = ast.parse(f.read())

FUNCTIONS = {n.name: n for n in TREE.body if isinstance(n, ast.FunctionDef)}
CLASSES = {n.name: n for n in TREE.body if isinstance(n, ast.ClassDef)}
ALIASES = {t.id for n in TREE.body if isinstance(n, ast.Assign) for t in n.targets}


def parameters(fn):
    return [a.arg for a in fn.args.posonlyargs + fn.args.args + fn.args.kwonlyargs
            if a.arg not in ("self", "cls")]


def test_stub_and_module_have_the_same_names():
    public = {n for n in dir(hfchain) if not n.startswith("_")}
    declared = set(FUNCTIONS) | set(CLASSES)
    assert public == declared
    assert ALIASES.isdisjoint(public)


class Sentinel:
    """An argument no check accepts."""


@pytest.mark.parametrize("name", sorted(n for n in FUNCTIONS if parameters(FUNCTIONS[n])))
def test_every_argument_is_taken_by_its_stub_name(name):
    # A keyword the binding does not know raises TypeError; a known one reaches the checks.
    kwargs = {p: Sentinel() for p in parameters(FUNCTIONS[name])}
    if "progress" in kwargs:
        kwargs["progress"] = None
    with pytest.raises(hfchain.Error) as e:
        getattr(hfchain, name)(**kwargs)
    assert e.value.identifier.startswith("hfchain:python:Wrong")


@pytest.mark.parametrize("name", sorted(FUNCTIONS))
def test_help_shows_the_stub_docstring(name):
    doc = getattr(hfchain, name).__doc__
    fn = FUNCTIONS[name]
    assert doc.startswith(f"{name}({(parameters(fn) + [')'])[0]}")
    assert inspect.cleandoc(ast.get_docstring(fn)) in doc


@pytest.mark.parametrize("name", sorted(n for n in CLASSES if hasattr(getattr(hfchain, n),
                                                                       "_fields")))
def test_structure_fields_follow_the_stub(name):
    cls = getattr(hfchain, name)
    node = CLASSES[name]
    annotated = [n.target.id for n in node.body if isinstance(n, ast.AnnAssign)]
    assert list(cls._fields) == annotated
    init = next(n for n in node.body if isinstance(n, ast.FunctionDef) and n.name == "__init__")
    assert parameters(init) == annotated
    for field in annotated:
        assert getattr(cls, field).__doc__, field  # each property documented
    assert ast.get_docstring(node) in cls.__doc__


def test_generator_methods_follow_the_stub():
    node = CLASSES["BuiltinHost"]
    for fn in (n for n in node.body if isinstance(n, ast.FunctionDef) and n.name != "__init__"):
        method = getattr(hfchain.BuiltinHost, fn.name)
        assert method.__doc__.startswith(fn.name + "(")
        kwargs = {p: Sentinel() for p in parameters(fn)}
        if not kwargs:
            continue
        with pytest.raises((hfchain.Error, TypeError)) as e:
            getattr(hfchain.BuiltinHost(1), fn.name)(**kwargs)
        if e.type is TypeError:  # pybind11's own check of a typed argument (settings)
            assert "incompatible function arguments" in str(e.value)


def test_install_component(tmp_path):
    """cmake --install --component python gives a package that imports from the chosen folder
    alone."""
    import subprocess
    import sys
    setting = os.environ.get("HFCHAIN_INSTALL")
    if not setting:
        pytest.skip("HFCHAIN_INSTALL is not set (run the tests through ctest)")
    cmake, build, site = setting.split("|")
    if os.path.isabs(site):
        pytest.skip("the package is installed to a fixed folder, not below a prefix")
    subprocess.run([cmake, "--install", build, "--component", "python", "--prefix", str(tmp_path)],
                   check=True, stdout=subprocess.DEVNULL)
    folder = os.path.join(tmp_path, site)
    script = ("import sys; sys.path.insert(0, sys.argv[1]); import hfchain; "
              "assert hfchain.__file__.startswith(sys.argv[1]), hfchain.__file__; "
              "assert len(hfchain.modeconf(0.6).interTable) == 2880; "
              "import os; assert os.path.exists(os.path.join(os.path.dirname(hfchain.__file__), "
              "'__init__.pyi'))")
    subprocess.run([sys.executable, "-I", "-c", script, folder], check=True)
