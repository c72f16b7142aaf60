#!/usr/bin/python3
"""Scores a table of loan applicants with a rule-set model and counts how
often each rule fired; with matplotlib installed the counts are also drawn
into a PNG (headless).

    PYTHONPATH=build/python /usr/bin/python3 examples/python_score.py [OUT.png]
"""
import os
import sys

import pandas as pd

import rulescore

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    print("python:", sys.executable)
    model = rulescore.load(os.path.join(HERE, "credit_risk.pmml"))
    print(model)
    print("reads:", ", ".join(f.name for f in model.fields), "| predicts:", model.target,
          "in", model.categories)
    print("check:", model.check() or "no warnings")

    applicants = pd.read_csv(os.path.join(HERE, "credit_risk.csv"), index_col="applicant",
                             dtype={"employment": "category", "region": str})
    scores = model.score(applicants)
    print(applicants[["age", "income"]].join(scores).to_string())

    counts = scores["fired_rules"].explode().value_counts()
    rule_ids = [rule["id"] for rule_set in model.rule_sets for rule in rule_set["rules"]]
    counts = counts.reindex(rule_ids, fill_value=0)
    print("\nfired-rule counts:")
    print(counts.to_string())

    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib not installed: no plot")
        return
    out = sys.argv[1] if len(sys.argv) > 1 else "fired_rules.png"
    fig, ax = plt.subplots(figsize=(7, 3.5))
    counts.plot.bar(ax=ax)
    ax.set_ylabel("records")
    ax.set_title("How often each rule fired")
    fig.tight_layout()
    fig.savefig(out)
    print("plot:", out)


if __name__ == "__main__":
    main()
