from os import PathLike
from typing import Any, Union

from . import Model

def cached_model(path: Union[str, PathLike[str]], **load_options: Any) -> Model: ...
def score(ddf: Any, path: Union[str, PathLike[str]], **load_options: Any) -> Any: ...
