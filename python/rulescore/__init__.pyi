from os import PathLike
from typing import Any, Dict, List, Literal, Mapping, NamedTuple, Optional, Sequence, Tuple, Union

import pandas as pd

RESULT_COLUMNS: Tuple[str, str, str, str, str]

class ModelError(Exception):
    code: int
    message: str
    line: Optional[int]
    def __init__(self, code: int, message: str, line: Optional[int] = ...) -> None: ...

class MissingColumnWarning(UserWarning): ...

class Field(NamedTuple):
    name: str
    data_type: str
    optype: str

class Output(NamedTuple):
    name: str
    feature: str
    numeric: bool

_Data = Union[pd.DataFrame, Mapping[str, Sequence[Any]], Sequence[Mapping[str, Any]]]

class Model:
    @property
    def fields(self) -> List[Field]: ...
    @property
    def outputs(self) -> List[Output]: ...
    @property
    def columns(self) -> List[str]: ...
    @property
    def target(self) -> Optional[str]: ...
    @property
    def categories(self) -> List[Union[str, float]]: ...
    @property
    def rule_sets(self) -> List[Dict[str, Any]]: ...
    @property
    def threads(self) -> int: ...
    @property
    def semantics(self) -> Literal["native", "pmml"]: ...
    def check(self) -> List[str]: ...
    def show(self) -> str: ...
    def score(self, data: _Data, threads: Optional[int] = ...) -> pd.DataFrame: ...
    def score_record(self, record: Mapping[str, Any]) -> Dict[str, Any]: ...

def load(path_or_text: Union[str, bytes, PathLike[str]],
         semantics: Literal["native", "pmml"] = ...,
         threads: int = ...) -> Model: ...
