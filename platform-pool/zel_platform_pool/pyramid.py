"""The HTTP answers of zel_platform_pool.http as a Pyramid exception view::

    config.include("zel_platform_pool.pyramid")

Every error of a platform call that reaches Pyramid is answered with its
status and JSON body; any other exception goes on to the application's own
exception views (or the server's 500). Nothing of Pyramid is imported here:
the configurator does the work."""

from __future__ import annotations

from typing import Any

from .http import http_answer


class _PlatformErrorPredicate:
    """View predicate platform_error=True: the exception has an answer."""

    def __init__(self, value: bool, config: Any) -> None:
        self.value = value

    def text(self) -> str:
        return f"platform_error = {self.value}"

    phash = text

    def __call__(self, context: Any, request: Any) -> bool:
        return (http_answer(context) is not None) == self.value


def platform_error_view(error: BaseException, request: Any) -> Any:
    answer = http_answer(error)
    assert answer is not None  # the view's predicate
    request.response.status_int = answer[0]
    return answer[1]


def includeme(config: Any) -> None:
    config.add_view_predicate("platform_error", _PlatformErrorPredicate)
    config.add_exception_view(platform_error_view, context=Exception, renderer="json",
                              platform_error=True)
